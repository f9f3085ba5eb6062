// The seam between the service operations and the system: the service control manager calls
// they make, the clock they wait on, and the owner type that closes every service handle.
// The program uses the Win32 implementation (win32_scm_api.h); tests script both sides.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace kova_monitor {

class ScmApi;

// Owns one SC_HANDLE (manager or service) and closes it through the API that opened it.
class ScHandle {
 public:
  explicit ScHandle(ScmApi& api) : api_(&api) {}
  ~ScHandle() { reset(); }
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;

  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }
  // Closes the handle held so far and takes ownership of another one.
  void reset(SC_HANDLE handle = nullptr);

 private:
  ScmApi* api_;
  SC_HANDLE handle_ = nullptr;
};

// Everything CreateServiceA is given, so that a test can compare the exact registration.
struct ServiceRegistration {
  const char* name = nullptr;
  const char* display_name = nullptr;
  DWORD access = 0;
  DWORD service_type = 0;
  DWORD start_type = 0;
  DWORD error_control = 0;
  const char* image_path = nullptr;
  const char* load_order_group = nullptr;  // nullptr: none
  DWORD* tag_id = nullptr;                 // nullptr: no tag wanted
  const char* dependencies = nullptr;      // double-NUL-terminated list; "" is the empty list
  const char* account = nullptr;           // nullptr: the local system account
  const char* password = nullptr;
};

// The manager calls the operations make. Each returns ERROR_SUCCESS or the system error code
// read right after the failing call. Handles come back in an ScHandle bound to this API.
class ScmApi {
 public:
  virtual ~ScmApi() = default;
  virtual DWORD OpenManager(DWORD access, ScHandle& manager) = 0;
  virtual DWORD Open(SC_HANDLE manager, const char* name, DWORD access, ScHandle& service) = 0;
  virtual void Close(SC_HANDLE handle) = 0;
  virtual DWORD Create(SC_HANDLE manager, const ServiceRegistration& registration,
                       ScHandle& service) = 0;
  virtual DWORD SetDescription(SC_HANDLE service, const char* description) = 0;
  virtual DWORD Delete(SC_HANDLE service) = 0;
  // QueryServiceStatusEx, SC_STATUS_PROCESS_INFO, into a zero-filled record.
  virtual DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) = 0;
  // StartServiceA without arguments.
  virtual DWORD Start(SC_HANDLE service) = 0;
  // ControlService; the status the manager returns with the control lands in `status`.
  virtual DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) = 0;
  // The start type from QueryServiceConfigA (size query, buffer, read).
  virtual DWORD QueryStartType(SC_HANDLE service, DWORD& start_type) = 0;
  // ChangeServiceConfigA changing the start type and nothing else.
  virtual DWORD ChangeStartType(SC_HANDLE service, DWORD start_type) = 0;
  // Service names of the active dependents, in the order the manager lists them
  // (EnumDependentServicesA, SERVICE_ACTIVE: size query, buffer, read).
  virtual DWORD EnumActiveDependents(SC_HANDLE service, std::vector<std::string>& names) = 0;
};

// Time as the operations see it: a millisecond tick count and a blocking pause.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual DWORD TickCount() = 0;
  virtual void Sleep(DWORD milliseconds) = 0;
};

inline void ScHandle::reset(SC_HANDLE handle) {
  if (handle_) api_->Close(handle_);
  handle_ = handle;
}

}  // namespace kova_monitor
