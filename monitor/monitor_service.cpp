// Service main, control handler and watch loop of "KOVAWsSvrMonitor".
#include "monitor_service.h"

#include "service_ops.h"
#include "win32_scm_api.h"

namespace kova_monitor {

MonitorStatus monitor_status;

namespace {

class Win32ServiceHost final : public ServiceHost {
 public:
  SERVICE_STATUS_HANDLE RegisterHandler(const char* name, LPHANDLER_FUNCTION handler) override {
    return RegisterServiceCtrlHandlerA(name, handler);
  }
  BOOL Report(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) override {
    SERVICE_STATUS copy = status;
    return SetServiceStatus(handle, &copy);
  }
};

Win32ServiceHost g_win32_host;
ScmApi* g_scm = nullptr;
Clock* g_clock = nullptr;
ServiceHost* g_host = nullptr;

ScmApi& Scm() { return g_scm ? *g_scm : SystemScm(); }
Clock& Time() { return g_clock ? *g_clock : SystemTime(); }
ServiceHost& Host() { return g_host ? *g_host : g_win32_host; }

// Reports the record with the state as it is now.
void ReportStatus() {
  SERVICE_STATUS snapshot = monitor_status.record;
  snapshot.dwCurrentState = monitor_status.state.load();
  Host().Report(monitor_status.handle.load(), snapshot);
}

}  // namespace

void SetMonitorServiceDepsForTest(ScmApi* scm, Clock* clock, ServiceHost* host) {
  g_scm = scm;
  g_clock = clock;
  g_host = host;
}

void run_watch_loop(ScmApi& scm, Clock& clock, const std::atomic<DWORD>& state) {
  while (state.load() == SERVICE_RUNNING) {
    start_service_and_wait(scm, clock, kWatchedServiceName);
    clock.Sleep(kWatchPeriodMs);
  }
}

void WINAPI monitor_service_main(DWORD /*argc*/, LPSTR* /*argv*/) {
  monitor_status.record = SERVICE_STATUS{};
  monitor_status.record.dwServiceType = SERVICE_WIN32;
  monitor_status.record.dwCurrentState = SERVICE_START_PENDING;
  monitor_status.record.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
  monitor_status.state.store(SERVICE_START_PENDING);
  monitor_status.handle.store(nullptr);

  SERVICE_STATUS_HANDLE handle =
      Host().RegisterHandler(kMonitorServiceName, monitor_control_handler);
  if (!handle) return;
  monitor_status.handle.store(handle);

  // Running, unless a stop came in through the handler before the handle was stored (its
  // report could not reach the manager then): that stop is reported now, and no loop runs.
  DWORD expected = SERVICE_START_PENDING;
  monitor_status.state.compare_exchange_strong(expected, SERVICE_RUNNING);
  ReportStatus();

  run_watch_loop(Scm(), Time(), monitor_status.state);
}

void WINAPI monitor_control_handler(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      // The exit code stays 0 as filled; the loop notices the state at its next test.
      monitor_status.state.store(SERVICE_STOPPED);
      ReportStatus();
      break;
    default:
      ReportStatus();
      break;
  }
}

DWORD run_as_service() {
  char name[sizeof kMonitorServiceName];
  lstrcpynA(name, kMonitorServiceName, sizeof name);
  SERVICE_TABLE_ENTRYA table[] = {{name, monitor_service_main}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace kova_monitor
