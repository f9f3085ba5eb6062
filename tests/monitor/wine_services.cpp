// Helpers for the tests against Wine's service control manager (see wine_services.h).
#include "wine_services.h"

#include <sstream>
#include <vector>

#include "test_util.h"

namespace kova_monitor_test {

namespace {

class Sc {
 public:
  explicit Sc(SC_HANDLE h = nullptr) : h_(h) {}
  ~Sc() {
    if (h_) CloseServiceHandle(h_);
  }
  Sc(const Sc&) = delete;
  Sc& operator=(const Sc&) = delete;
  SC_HANDLE get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  SC_HANDLE h_;
};

class Handle {
 public:
  explicit Handle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
  ~Handle() { reset(); }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  void reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_;
};

Sc OpenManager() { return Sc(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

SC_HANDLE OpenByName(const Sc& manager, const char* name, DWORD access = SERVICE_ALL_ACCESS) {
  return manager ? OpenServiceA(manager.get(), name, access) : nullptr;
}

}  // namespace

std::string MonitorExe() { return kova_test::ExeDir() + "KOVAWsSvrMonitor.exe"; }
std::string CoreDoubleExe() { return kova_test::ExeDir() + "coresvr_double.exe"; }

ProgramRun RunProgram(const std::string& exe, const std::string& arguments, DWORD timeout_ms) {
  ProgramRun run;
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, /*bInheritHandle=*/TRUE};
  HANDLE read_raw = nullptr;
  HANDLE write_raw = nullptr;
  if (!CreatePipe(&read_raw, &write_raw, &inherit, 0)) return run;
  Handle read_end(read_raw);
  Handle write_end(write_raw);
  SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si = {};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = write_end.get();
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::string command = "\"" + exe + "\"" + arguments;
  std::vector<char> buffer(command.begin(), command.end());
  buffer.push_back('\0');
  PROCESS_INFORMATION pi = {};
  const DWORD begin = GetTickCount();
  // Under load Wine has been seen to fail a process start once with 0x54f; try again then.
  BOOL created = FALSE;
  for (int attempt = 0; attempt < 3 && !created; ++attempt) {
    created = CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr,
                             /*bInheritHandles=*/TRUE, 0, nullptr, nullptr, &si, &pi);
    if (!created && GetLastError() != ERROR_INTERNAL_ERROR) break;
  }
  if (!created) return run;
  run.started = true;
  Handle process(pi.hProcess);
  Handle thread(pi.hThread);
  write_end.reset();  // the child holds the only write end now: EOF when it ends

  char chunk[256];
  DWORD got = 0;
  while (ReadFile(read_end.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
    run.out.append(chunk, got);
  }
  if (WaitForSingleObject(process.get(), timeout_ms) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 99);
    run.exit_code = 99;
  } else {
    GetExitCodeProcess(process.get(), &run.exit_code);
  }
  run.elapsed_ms = GetTickCount() - begin;
  return run;
}

DWORD ServiceState(const char* name, DWORD* process_id) {
  if (process_id) *process_id = 0;
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name, SERVICE_QUERY_STATUS));
  if (!service) return 0;
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                            sizeof status, &needed)) {
    return 0;
  }
  if (process_id) *process_id = status.dwProcessId;
  return status.dwCurrentState;
}

bool ServiceExists(const char* name) {
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name, SERVICE_QUERY_CONFIG));
  return static_cast<bool>(service);
}

bool WaitForServiceState(const char* name, DWORD state, DWORD timeout_ms) {
  const DWORD begin = GetTickCount();
  for (;;) {
    if (ServiceState(name) == state) return true;
    if (GetTickCount() - begin > timeout_ms) return false;
    Sleep(20);
  }
}

DWORD SendStop(const char* name) {
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name));
  if (!service) return GetLastError();
  SERVICE_STATUS status = {};
  return ControlService(service.get(), SERVICE_CONTROL_STOP, &status) ? 0 : GetLastError();
}

DWORD StartByName(const char* name) {
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name));
  if (!service) return GetLastError();
  DWORD error = ERROR_INTERNAL_ERROR;  // 0x54f: a process start Wine failed under load
  for (int attempt = 0; attempt < 3 && error == ERROR_INTERNAL_ERROR; ++attempt) {
    error = StartServiceA(service.get(), 0, nullptr) ? 0 : GetLastError();
  }
  return error;
}

bool ReadServiceConfig(const char* name, ServiceConfig& config) {
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name, SERVICE_QUERY_CONFIG));
  if (!service) return false;
  DWORD needed = 0;
  QueryServiceConfigA(service.get(), nullptr, 0, &needed);
  std::vector<char> buffer(needed + 1);
  auto* c = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
  if (!QueryServiceConfigA(service.get(), c, needed, &needed)) return false;
  auto text = [](const char* s) { return std::string(s ? s : ""); };
  config.service_type = c->dwServiceType;
  config.start_type = c->dwStartType;
  config.error_control = c->dwErrorControl;
  config.tag_id = c->dwTagId;
  config.binary_path = text(c->lpBinaryPathName);
  config.load_order_group = text(c->lpLoadOrderGroup);
  config.dependencies = text(c->lpDependencies);
  config.start_name = text(c->lpServiceStartName);
  config.display_name = text(c->lpDisplayName);
  needed = 0;
  QueryServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, nullptr, 0, &needed);
  std::vector<BYTE> description(needed + sizeof(SERVICE_DESCRIPTIONA));
  if (QueryServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, description.data(),
                           static_cast<DWORD>(description.size()), &needed)) {
    config.description =
        text(reinterpret_cast<SERVICE_DESCRIPTIONA*>(description.data())->lpDescription);
  }
  return true;
}

DWORD StartTypeOf(const char* name) {
  ServiceConfig config;
  return ReadServiceConfig(name, config) ? config.start_type : 0xFFFFFFFF;
}

bool SetStartType(const char* name, DWORD start_type) {
  Sc manager = OpenManager();
  Sc service(OpenByName(manager, name));
  return service &&
         ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, start_type, SERVICE_NO_CHANGE,
                              nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

bool RegisterCoreDouble(const std::string& arguments, const char* name, DWORD start_type) {
  Sc manager = OpenManager();
  const std::string command = "\"" + CoreDoubleExe() + "\" " + arguments;
  Sc service(CreateServiceA(manager.get(), name, name, SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, start_type, SERVICE_ERROR_NORMAL,
                            command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  return static_cast<bool>(service);
}

bool RemoveServiceForTest(const char* name) {
  // Wine's manager does not notice a killed service process, so the service is asked to stop
  // first; whatever still runs of its process (the monitor's loop may sleep up to 5 s after
  // reporting stopped) is then ended.
  DWORD pid = 0;
  ServiceState(name, &pid);
  if (pid) {
    SendStop(name);
    WaitForServiceState(name, SERVICE_STOPPED, 1000);
    Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (process.get()) {
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), 5000);
    }
  }
  {
    Sc manager = OpenManager();
    Sc service(OpenByName(manager, name, DELETE));
    if (service) DeleteService(service.get());
  }
  const DWORD begin = GetTickCount();
  while (ServiceExists(name)) {
    if (GetTickCount() - begin > 5000) return false;
    Sleep(20);
  }
  return true;
}

bool WaitForProcessExit(DWORD process_id, DWORD timeout_ms) {
  Handle process(OpenProcess(SYNCHRONIZE, FALSE, process_id));
  if (!process.get()) return GetLastError() == ERROR_INVALID_PARAMETER;  // already gone
  return WaitForSingleObject(process.get(), timeout_ms) == WAIT_OBJECT_0;
}

std::string ProcessImagePath(DWORD process_id) {
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id));
  if (!process.get()) return "";
  char path[MAX_PATH * 2];
  DWORD size = sizeof path;
  if (!QueryFullProcessImageNameA(process.get(), 0, path, &size)) return "";
  return std::string(path, size);
}

int CountEvents(const std::string& events_path, const std::string& event) {
  std::istringstream lines(kova_test::ReadFileBytes(events_path));
  std::string line;
  int n = 0;
  const std::string suffix = " " + event + "\r";
  while (std::getline(lines, line)) {
    if (line.size() >= suffix.size() &&
        line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
      ++n;
    }
  }
  return n;
}

}  // namespace kova_monitor_test
