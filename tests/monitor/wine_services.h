// Helpers for the tests that use Wine's real service control manager: running the monitor
// program with its standard output captured, registering the substitute host service, and
// reading and cleaning up the services of the test prefix.
#pragma once

#include <windows.h>

#include <string>

namespace kova_monitor_test {

// The monitor program and the substitute host service, beside the test program.
std::string MonitorExe();
std::string CoreDoubleExe();

struct ProgramRun {
  bool started = false;
  DWORD exit_code = 0;
  std::string out;  // everything written to standard output
  DWORD elapsed_ms = 0;
};

// Runs `"exe" arguments` (the arguments exactly as given, blanks included) with standard
// output going to a pipe, and waits for it to end.
ProgramRun RunProgram(const std::string& exe, const std::string& arguments,
                      DWORD timeout_ms = 60000);

// Current state of a service (0 when it cannot be queried, e.g. it does not exist) and the
// id of its process (0 when none).
DWORD ServiceState(const char* name, DWORD* process_id = nullptr);
bool ServiceExists(const char* name);
// Polls every 20 ms until the service reports `state`; false after `timeout_ms`.
bool WaitForServiceState(const char* name, DWORD state, DWORD timeout_ms);
// Sends a stop control; the error code of ControlService.
DWORD SendStop(const char* name);
DWORD StartByName(const char* name);
DWORD StartTypeOf(const char* name);
bool SetStartType(const char* name, DWORD start_type);

struct ServiceConfig {
  DWORD service_type = 0, start_type = 0, error_control = 0, tag_id = 0;
  std::string binary_path, load_order_group, dependencies, start_name, display_name, description;
};
bool ReadServiceConfig(const char* name, ServiceConfig& config);

// Registers the substitute host service as `name` (own process, demand start) with the given
// arguments after its quoted path.
bool RegisterCoreDouble(const std::string& arguments, const char* name = "KOVAWsCoreSvr",
                        DWORD start_type = SERVICE_DEMAND_START);

// Ends the service's process if it has one, and deletes the service; true once it is gone.
bool RemoveServiceForTest(const char* name);

// Waits for a process to end; true when it has ended within `timeout_ms`.
bool WaitForProcessExit(DWORD process_id, DWORD timeout_ms);
// Full image path of a running process ("" when it cannot be read).
std::string ProcessImagePath(DWORD process_id);

// Lines of the substitute service's events file that end with " <event>".
int CountEvents(const std::string& events_path, const std::string& event);

}  // namespace kova_monitor_test
