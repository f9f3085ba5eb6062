// Stand-in for the host service "KOVAWsCoreSvr". A test registers it with arguments in its
// command line that choose how it behaves when the manager starts or stops it:
//   --name NAME         service name in the dispatch table (default KOVAWsCoreSvr)
//   --events PATH       file the events are appended to (default: this program's path + ".events")
//   --start-steps N     report start-pending N more times before running (default 0)
//   --step-ms MS        pause before each of those reports and of the stop reports (default 100)
//   --start-hint MS     wait hint reported while start-pending (default 0)
//   --frozen            the check point stays at 1 during the start steps
//   --refuse CODE       report stopped at once, with service-specific exit code CODE
//   --stop-steps N      report stop-pending N more times before stopped (default 0)
//   --stop-hint MS      wait hint reported while stop-pending (default 0)
//   --exit-after-ms MS  once running, end by itself after MS: report stopped with
//                       service-specific exit code 1 and leave the process. (A process that
//                       ends without reporting stays "running" in Wine's manager.)
// Every event is one line "<tick count> <event>": process, start-pending, running, refused,
// stop-pending, stopped, exit, not-a-service.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Options {
  char name[256] = "KOVAWsCoreSvr";
  char events[MAX_PATH * 2] = "";
  DWORD start_steps = 0;
  DWORD step_ms = 100;
  DWORD start_hint = 0;
  bool frozen = false;
  bool refuse = false;
  DWORD refuse_code = 0;
  DWORD stop_steps = 0;
  DWORD stop_hint = 0;
  DWORD exit_after_ms = INFINITE;
};

Options g_options;
SERVICE_STATUS_HANDLE g_handle = nullptr;
HANDLE g_stop_requested = nullptr;
CRITICAL_SECTION g_report_lock;
SERVICE_STATUS g_status = {};

void Event(const char* what) {
  HANDLE f = CreateFileA(g_options.events, FILE_APPEND_DATA,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         /*hTemplateFile=*/nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  char line[128];
  const int n = std::snprintf(line, sizeof line, "%lu %s\r\n",
                              static_cast<unsigned long>(GetTickCount()), what);
  DWORD written = 0;
  WriteFile(f, line, static_cast<DWORD>(n), &written, nullptr);
  CloseHandle(f);
}

// Reports a state; the handler and the service thread both report, one at a time.
void Report(DWORD state, DWORD check_point, DWORD wait_hint, const char* event) {
  EnterCriticalSection(&g_report_lock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = state;
  g_status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  g_status.dwCheckPoint = check_point;
  g_status.dwWaitHint = wait_hint;
  Event(event);
  SetServiceStatus(g_handle, &g_status);
  LeaveCriticalSection(&g_report_lock);
}

// Ends the service by itself: stopped, with a service-specific exit code.
void ReportEnded(DWORD code, const char* event) {
  EnterCriticalSection(&g_report_lock);
  g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  g_status.dwCurrentState = SERVICE_STOPPED;
  g_status.dwControlsAccepted = 0;
  g_status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
  g_status.dwServiceSpecificExitCode = code;
  Event(event);
  SetServiceStatus(g_handle, &g_status);
  LeaveCriticalSection(&g_report_lock);
}

void WINAPI Handler(DWORD control) {
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1, g_options.stop_hint, "stop-pending");
    SetEvent(g_stop_requested);
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_handle = RegisterServiceCtrlHandlerA(g_options.name, Handler);
  if (!g_handle) return;
  if (g_options.refuse) {
    ReportEnded(g_options.refuse_code, "refused");
    return;
  }
  DWORD check_point = 1;
  Report(SERVICE_START_PENDING, check_point, g_options.start_hint, "start-pending");
  for (DWORD i = 0; i < g_options.start_steps; ++i) {
    Sleep(g_options.step_ms);
    if (!g_options.frozen) ++check_point;
    Report(SERVICE_START_PENDING, check_point, g_options.start_hint, "start-pending");
  }
  Report(SERVICE_RUNNING, 0, 0, "running");

  if (WaitForSingleObject(g_stop_requested, g_options.exit_after_ms) == WAIT_TIMEOUT) {
    ReportEnded(1, "exit");
    return;
  }
  for (DWORD i = 0; i < g_options.stop_steps; ++i) {
    Sleep(g_options.step_ms);
    Report(SERVICE_STOP_PENDING, i + 2, g_options.stop_hint, "stop-pending");
  }
  Report(SERVICE_STOPPED, 0, 0, "stopped");
}

DWORD Number(const char* text) { return static_cast<DWORD>(std::strtoul(text, nullptr, 10)); }

void ParseArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const char* v = i + 1 < argc ? argv[i + 1] : "";
    if (!std::strcmp(a, "--frozen")) {
      g_options.frozen = true;
      continue;
    }
    ++i;
    if (!std::strcmp(a, "--name")) lstrcpynA(g_options.name, v, sizeof g_options.name);
    if (!std::strcmp(a, "--events")) lstrcpynA(g_options.events, v, sizeof g_options.events);
    if (!std::strcmp(a, "--start-steps")) g_options.start_steps = Number(v);
    if (!std::strcmp(a, "--step-ms")) g_options.step_ms = Number(v);
    if (!std::strcmp(a, "--start-hint")) g_options.start_hint = Number(v);
    if (!std::strcmp(a, "--stop-steps")) g_options.stop_steps = Number(v);
    if (!std::strcmp(a, "--stop-hint")) g_options.stop_hint = Number(v);
    if (!std::strcmp(a, "--exit-after-ms")) g_options.exit_after_ms = Number(v);
    if (!std::strcmp(a, "--refuse")) {
      g_options.refuse = true;
      g_options.refuse_code = Number(v);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  ParseArguments(argc, argv);
  if (!g_options.events[0]) {
    const DWORD n = GetModuleFileNameA(nullptr, g_options.events, MAX_PATH);
    lstrcpynA(g_options.events + n, ".events", static_cast<int>(sizeof g_options.events - n));
  }
  InitializeCriticalSection(&g_report_lock);
  g_stop_requested = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
  Event("process");
  SERVICE_TABLE_ENTRYA table[] = {{g_options.name, ServiceMain}, {nullptr, nullptr}};
  if (!StartServiceCtrlDispatcherA(table)) {
    Event("not-a-service");
    return 1;
  }
  return 0;
}
