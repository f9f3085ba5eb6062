// Service control operations: registration, start with progress wait, re-enabling, and stop
// with time budgets. All manager access goes through ScmApi, all waiting through Clock.
#include "service_ops.h"

#include <cstring>

namespace kova_monitor {

namespace {

// Opens the manager and then one service in it; on failure, the error of the step that failed.
DWORD OpenManagerAndService(ScmApi& scm, const char* name, DWORD access, ScHandle& manager,
                            ScHandle& service) {
  DWORD error = scm.OpenManager(kManagerAccess, manager);
  if (error != ERROR_SUCCESS) return error;
  return scm.Open(manager.get(), name, access, service);
}

bool BudgetExceeded(Clock& clock, DWORD since) { return clock.TickCount() - since > kStopBudgetMs; }

// Polls a stopping service, sleeping its wait hint as reported between queries. With
// `stop_pending_only` it waits while the service reports stop-pending, otherwise until it
// reports stopped. Ends with ERROR_SUCCESS when the wait is over, the error of a failed query,
// or ERROR_SERVICE_REQUEST_TIMEOUT once the budget that began at `since` has run out.
// `state` is the last state seen.
DWORD WaitForStop(ScmApi& scm, Clock& clock, SC_HANDLE service, DWORD since, DWORD& state,
                  DWORD wait_hint, bool stop_pending_only) {
  while (stop_pending_only ? state == SERVICE_STOP_PENDING : state != SERVICE_STOPPED) {
    clock.Sleep(wait_hint);
    SERVICE_STATUS_PROCESS status;
    const DWORD error = scm.QueryStatus(service, status);
    if (error != ERROR_SUCCESS) return error;
    state = status.dwCurrentState;
    wait_hint = status.dwWaitHint;
    if (state == SERVICE_STOPPED) break;
    if (BudgetExceeded(clock, since)) return ERROR_SERVICE_REQUEST_TIMEOUT;
  }
  return ERROR_SUCCESS;
}

// Does a service named `name` exist? ERROR_SUCCESS when it does, ERROR_SERVICE_DOES_NOT_EXIST
// when it does not, another error when the manager or the service could not be asked.
DWORD TestForService(ScmApi& scm, const char* name) {
  ScHandle manager(scm);
  ScHandle service(scm);
  return OpenManagerAndService(scm, name, kExistenceTestAccess, manager, service);
}

}  // namespace

DWORD StartPollPeriod(DWORD wait_hint) {
  const DWORD period = wait_hint / 10;
  if (period < kMinStartPollMs) return kMinStartPollMs;
  if (period > kMaxStartPollMs) return kMaxStartPollMs;
  return period;
}

DWORD install_service(ScmApi& scm, const char* image_path) {
  if (!image_path || !*image_path) return ERROR_INVALID_PARAMETER;
  const size_t length = std::strlen(image_path);
  if (length >= kImagePathChars) return ERROR_INVALID_PARAMETER;

  // An existing registration is left as it is, even when it names another executable.
  if (TestForService(scm, kMonitorServiceName) == ERROR_SUCCESS) return ERROR_SUCCESS;

  ScHandle manager(scm);
  DWORD error = scm.OpenManager(kManagerAccess, manager);
  if (error != ERROR_SUCCESS) return error;

  // Unquoted, "C:\Program Files\x.exe" would first be tried as "C:\Program.exe".
  char command[kImagePathChars + 2];
  const bool quote = std::strchr(image_path, ' ') != nullptr && image_path[0] != '"';
  if (quote) {
    command[0] = '"';
    std::memcpy(command + 1, image_path, length);
    command[length + 1] = '"';
    command[length + 2] = '\0';
  } else {
    std::memcpy(command, image_path, length + 1);
  }

  ServiceRegistration registration;
  registration.name = kMonitorServiceName;
  registration.display_name = kMonitorServiceName;
  registration.access = SERVICE_ALL_ACCESS;
  registration.service_type = SERVICE_WIN32_OWN_PROCESS;
  registration.start_type = SERVICE_AUTO_START;
  registration.error_control = SERVICE_ERROR_NORMAL;
  registration.image_path = command;
  registration.dependencies = "\0";
  ScHandle service(scm);
  error = scm.Create(manager.get(), registration, service);
  // Registered meanwhile by someone else: installed all the same.
  if (error == ERROR_SERVICE_EXISTS) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;
  scm.SetDescription(service.get(), kMonitorServiceName);  // a failure leaves it registered
  return ERROR_SUCCESS;
}

DWORD remove_service(ScmApi& scm, Clock& clock) {
  DWORD error = TestForService(scm, kMonitorServiceName);
  if (error == ERROR_SERVICE_DOES_NOT_EXIST) return ERROR_SUCCESS;  // nothing to remove
  if (error != ERROR_SUCCESS) return error;

  stop_service(scm, clock);

  ScHandle manager(scm);
  ScHandle service(scm);
  error = OpenManagerAndService(scm, kMonitorServiceName, kDeleteAccess, manager, service);
  if (error != ERROR_SUCCESS) return error;
  SERVICE_STATUS status;
  scm.Control(service.get(), SERVICE_CONTROL_STOP, status);
  error = scm.Delete(service.get());
  // Already marked for deletion: it goes away once its last handle is closed.
  if (error == ERROR_SERVICE_MARKED_FOR_DELETE) return ERROR_SUCCESS;
  return error;
}

DWORD enable_service_if_disabled(ScmApi& scm, SC_HANDLE service) {
  DWORD start_type = 0;
  const DWORD error = scm.QueryStartType(service, start_type);
  if (error != ERROR_SUCCESS) return error;
  if (start_type != SERVICE_DISABLED) return ERROR_SUCCESS;
  return scm.ChangeStartType(service, SERVICE_AUTO_START);
}

DWORD start_service_and_wait(ScmApi& scm, Clock& clock, const char* service_name) {
  if (!service_name || !*service_name) return ERROR_INVALID_PARAMETER;
  ScHandle manager(scm);
  ScHandle service(scm);
  DWORD error = OpenManagerAndService(scm, service_name, kStartAccess, manager, service);
  if (error != ERROR_SUCCESS) return error;

  enable_service_if_disabled(scm, service.get());  // the start is tried either way

  SERVICE_STATUS_PROCESS status;
  error = scm.QueryStatus(service.get(), status);
  if (error != ERROR_SUCCESS) return error;
  if (status.dwCurrentState == SERVICE_RUNNING) return ERROR_SUCCESS;

  // A service still start- or stop-pending refuses the request; no wait then.
  error = scm.Start(service.get());
  if (error == ERROR_SERVICE_ALREADY_RUNNING) return ERROR_SUCCESS;
  if (error != ERROR_SUCCESS) return error;

  // The request went through. From here on the outcome is not examined: a service that stops
  // again, or is still start-pending when the wait ends, counts as started.
  if (scm.QueryStatus(service.get(), status) != ERROR_SUCCESS) return ERROR_SUCCESS;
  DWORD progress_tick = clock.TickCount();
  DWORD check_point = status.dwCheckPoint;
  while (status.dwCurrentState == SERVICE_START_PENDING) {
    clock.Sleep(StartPollPeriod(status.dwWaitHint));
    if (scm.QueryStatus(service.get(), status) != ERROR_SUCCESS) break;
    if (status.dwCheckPoint > check_point) {
      check_point = status.dwCheckPoint;
      progress_tick = clock.TickCount();
    } else if (clock.TickCount() - progress_tick > status.dwWaitHint) {
      break;  // no progress for longer than the service said a step would take
    }
  }
  return ERROR_SUCCESS;
}

DWORD stop_service(ScmApi& scm, Clock& clock) {
  const DWORD since = clock.TickCount();
  ScHandle manager(scm);
  ScHandle service(scm);
  DWORD error = OpenManagerAndService(scm, kMonitorServiceName, kStopAccess, manager, service);
  if (error != ERROR_SUCCESS) return error;

  SERVICE_STATUS_PROCESS status;
  error = scm.QueryStatus(service.get(), status);
  if (error != ERROR_SUCCESS) return error;
  if (status.dwCurrentState == SERVICE_STOPPED) return ERROR_SUCCESS;

  // A stop already under way is waited for within the same budget. Should it not end in time,
  // the stop is still the service's own business: that is not a failure of this request.
  DWORD state = status.dwCurrentState;
  if (state == SERVICE_STOP_PENDING) {
    error = WaitForStop(scm, clock, service.get(), since, state, status.dwWaitHint,
                        /*stop_pending_only=*/true);
    if (error == ERROR_SERVICE_REQUEST_TIMEOUT) return ERROR_SUCCESS;
    if (error != ERROR_SUCCESS || state == SERVICE_STOPPED) return error;
  }

  stop_dependent_services(scm, clock, service.get(), manager.get());

  SERVICE_STATUS control_status;
  error = scm.Control(service.get(), SERVICE_CONTROL_STOP, control_status);
  if (error == ERROR_SERVICE_NOT_ACTIVE) return ERROR_SUCCESS;  // stopped meanwhile
  if (error != ERROR_SUCCESS) {
    // A service may end while its stop is being delivered: its process is gone before the
    // manager's answer arrives (seen as a broken pipe). What counts is where it is now: one
    // that is stopped or stopping did take the stop, so that is not a failure.
    SERVICE_STATUS_PROCESS after;
    if (scm.QueryStatus(service.get(), after) == ERROR_SUCCESS &&
        (after.dwCurrentState == SERVICE_STOPPED || after.dwCurrentState == SERVICE_STOP_PENDING))
      return ERROR_SUCCESS;
    return error;
  }
  // The request was taken. How long the service then needs is not examined, as with a start:
  // past the budget it may still stop on its own.
  state = control_status.dwCurrentState;
  WaitForStop(scm, clock, service.get(), since, state, control_status.dwWaitHint,
              /*stop_pending_only=*/false);
  return ERROR_SUCCESS;
}

DWORD stop_dependent_services(ScmApi& scm, Clock& clock, SC_HANDLE service, SC_HANDLE manager) {
  const DWORD since = clock.TickCount();
  std::vector<std::string> dependents;
  DWORD error = scm.EnumActiveDependents(service, dependents);
  if (error != ERROR_SUCCESS) return error;
  for (const std::string& name : dependents) {
    ScHandle dependent(scm);
    error = scm.Open(manager, name.c_str(), kDependentStopAccess, dependent);
    if (error != ERROR_SUCCESS) return error;
    SERVICE_STATUS status;
    error = scm.Control(dependent.get(), SERVICE_CONTROL_STOP, status);
    if (error != ERROR_SUCCESS) return error;
    DWORD state = status.dwCurrentState;
    error = WaitForStop(scm, clock, dependent.get(), since, state, status.dwWaitHint,
                        /*stop_pending_only=*/false);
    if (error != ERROR_SUCCESS) return error;
  }
  return ERROR_SUCCESS;
}

}  // namespace kova_monitor
