// Operations on the local service control manager: installing and removing the monitor's own
// service, starting a service and waiting while it starts, re-enabling a disabled service, and
// stopping the monitor's service after its active dependents.
//
// Every operation returns ERROR_SUCCESS when it did its job or found nothing to do (installing
// what is installed, removing what is absent, starting what runs, stopping what is stopped),
// and otherwise the system error code of the step that failed. A start or stop request that
// the manager accepted counts as done: how the service then comes up or winds down within the
// waits is not examined. The operations print and log nothing.
#pragma once

#include <windows.h>

#include "scm_api.h"

namespace kova_monitor {

constexpr char kMonitorServiceName[] = "KOVAWsSvrMonitor";
constexpr char kWatchedServiceName[] = "KOVAWsCoreSvr";

// Characters of the buffer the running executable's path is read into.
constexpr DWORD kImagePathChars = 2048;

// Budget of stop_service, and the one budget all dependents of stop_dependent_services share.
constexpr DWORD kStopBudgetMs = 30000;

// Pause between polls while a service starts: a tenth of its wait hint, within 1 s .. 10 s.
constexpr DWORD kMinStartPollMs = 1000;
constexpr DWORD kMaxStartPollMs = 10000;
DWORD StartPollPeriod(DWORD wait_hint);

// Access rights the operations ask for.
constexpr DWORD kManagerAccess = SC_MANAGER_ALL_ACCESS;
constexpr DWORD kExistenceTestAccess = SERVICE_QUERY_CONFIG;
constexpr DWORD kDeleteAccess = DELETE | SERVICE_STOP;
constexpr DWORD kStartAccess = SERVICE_ALL_ACCESS;
constexpr DWORD kStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_ENUMERATE_DEPENDENTS;
constexpr DWORD kDependentStopAccess = SERVICE_STOP | SERVICE_QUERY_STATUS;

// Registers "KOVAWsSvrMonitor" for `image_path` unless a service of that name exists. A path
// with a space in it is registered in double quotes, so that the system cannot take a prefix
// of it for the program. An empty path, or one of kImagePathChars characters or more, is
// refused with ERROR_INVALID_PARAMETER.
DWORD install_service(ScmApi& scm, const char* image_path);

// Stops and deletes "KOVAWsSvrMonitor" if it exists.
DWORD remove_service(ScmApi& scm, Clock& clock);

// Re-enables the named service if it is disabled, starts it unless it runs, and waits while it
// reports start-pending progress. A missing or empty name does nothing
// (ERROR_INVALID_PARAMETER).
DWORD start_service_and_wait(ScmApi& scm, Clock& clock, const char* service_name);

// Changes the start type of an open service from disabled to automatic; others stay.
DWORD enable_service_if_disabled(ScmApi& scm, SC_HANDLE service);

// Stops "KOVAWsSvrMonitor" after its active dependents, within kStopBudgetMs. Failures of the
// dependents' stop do not keep the service's own stop request from being sent.
DWORD stop_service(ScmApi& scm, Clock& clock);

// Stops the active dependents of an open service, one after another, within kStopBudgetMs
// shared by all. The first one that cannot be stopped leaves the rest alone.
DWORD stop_dependent_services(ScmApi& scm, Clock& clock, SC_HANDLE service, SC_HANDLE manager);

}  // namespace kova_monitor
