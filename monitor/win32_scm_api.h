// The seam's real side: the local service control manager and the system tick count.
#pragma once

#include "scm_api.h"

namespace kova_monitor {

class Win32ScmApi final : public ScmApi {
 public:
  DWORD OpenManager(DWORD access, ScHandle& manager) override;
  DWORD Open(SC_HANDLE manager, const char* name, DWORD access, ScHandle& service) override;
  void Close(SC_HANDLE handle) override;
  DWORD Create(SC_HANDLE manager, const ServiceRegistration& registration,
               ScHandle& service) override;
  DWORD SetDescription(SC_HANDLE service, const char* description) override;
  DWORD Delete(SC_HANDLE service) override;
  DWORD QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) override;
  DWORD Start(SC_HANDLE service) override;
  DWORD Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) override;
  DWORD QueryStartType(SC_HANDLE service, DWORD& start_type) override;
  DWORD ChangeStartType(SC_HANDLE service, DWORD start_type) override;
  DWORD EnumActiveDependents(SC_HANDLE service, std::vector<std::string>& names) override;
};

class SystemClock final : public Clock {
 public:
  DWORD TickCount() override;
  void Sleep(DWORD milliseconds) override;
};

// The process-wide instances the program runs on.
Win32ScmApi& SystemScm();
SystemClock& SystemTime();

}  // namespace kova_monitor
