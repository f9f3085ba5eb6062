// The monitor as a Windows service: its status record, its service main with the watch loop
// that keeps "KOVAWsCoreSvr" running, and its control handler.
#pragma once

#include <windows.h>

#include <atomic>

#include "scm_api.h"

namespace kova_monitor {

// Pause after each attempt of the watch loop.
constexpr DWORD kWatchPeriodMs = 5000;

// The status reported to the service control manager, one per process. The current state is
// the field two threads share: the control handler (dispatcher thread) writes it, the watch
// loop (service thread) reads it, so it is held atomically apart from the rest of the record;
// every report copies it into a snapshot of the record. The status handle is stored by the
// service thread and read by the handler, so it is atomic too.
struct MonitorStatus {
  SERVICE_STATUS record;  // dwCurrentState here is unused; see state
  std::atomic<DWORD> state;
  std::atomic<SERVICE_STATUS_HANDLE> handle;
};
extern MonitorStatus monitor_status;

// The service side of the manager: handler registration and status reports.
class ServiceHost {
 public:
  virtual ~ServiceHost() = default;
  virtual SERVICE_STATUS_HANDLE RegisterHandler(const char* name, LPHANDLER_FUNCTION handler) = 0;
  virtual BOOL Report(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) = 0;
};

// Lets tests run the service main and the handler against scripted stand-ins; nullptr puts
// back the system's own.
void SetMonitorServiceDepsForTest(ScmApi* scm, Clock* clock, ServiceHost* host);

void WINAPI monitor_service_main(DWORD argc, LPSTR* argv);
void WINAPI monitor_control_handler(DWORD control);

// While `state` says running: one start_service_and_wait of "KOVAWsCoreSvr", whose outcome
// does not matter, then kWatchPeriodMs of sleep.
void run_watch_loop(ScmApi& scm, Clock& clock, const std::atomic<DWORD>& state);

// Hands the main thread to the service control dispatcher with "KOVAWsSvrMonitor" as the one
// service. Returns when the service has ended, or at once with the error when the program was
// not started by the manager.
DWORD run_as_service();

}  // namespace kova_monitor
