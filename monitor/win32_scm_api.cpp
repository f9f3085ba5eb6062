// The seam's real side: thin wrappers that read the system error code on the line after each
// failing call, and own every buffer they allocate.
#include "win32_scm_api.h"

#include <new>

namespace kova_monitor {

namespace {

// The result of a Win32 call that returns BOOL, as an error code.
DWORD ResultOf(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

// LocalAlloc'd block, freed on every path.
class LocalBlock {
 public:
  explicit LocalBlock(SIZE_T bytes) : p_(LocalAlloc(LMEM_FIXED, bytes)) {}
  ~LocalBlock() {
    if (p_) LocalFree(p_);
  }
  LocalBlock(const LocalBlock&) = delete;
  LocalBlock& operator=(const LocalBlock&) = delete;
  void* get() const { return p_; }

 private:
  HLOCAL p_;
};

// Zero-filled block of the process heap, freed on every path.
class HeapBlock {
 public:
  explicit HeapBlock(SIZE_T bytes)
      : p_(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes ? bytes : 1)) {}
  ~HeapBlock() {
    if (p_) HeapFree(GetProcessHeap(), 0, p_);
  }
  HeapBlock(const HeapBlock&) = delete;
  HeapBlock& operator=(const HeapBlock&) = delete;
  void* get() const { return p_; }

 private:
  void* p_;
};

}  // namespace

DWORD Win32ScmApi::OpenManager(DWORD access, ScHandle& manager) {
  SC_HANDLE h = OpenSCManagerA(/*lpMachineName=*/nullptr, /*lpDatabaseName=*/nullptr, access);
  const DWORD error = h ? ERROR_SUCCESS : GetLastError();
  manager.reset(h);
  return error;
}

DWORD Win32ScmApi::Open(SC_HANDLE manager, const char* name, DWORD access, ScHandle& service) {
  SC_HANDLE h = OpenServiceA(manager, name, access);
  const DWORD error = h ? ERROR_SUCCESS : GetLastError();
  service.reset(h);
  return error;
}

void Win32ScmApi::Close(SC_HANDLE handle) { CloseServiceHandle(handle); }

DWORD Win32ScmApi::Create(SC_HANDLE manager, const ServiceRegistration& r, ScHandle& service) {
  SC_HANDLE h = CreateServiceA(manager, r.name, r.display_name, r.access, r.service_type,
                               r.start_type, r.error_control, r.image_path, r.load_order_group,
                               r.tag_id, r.dependencies, r.account, r.password);
  const DWORD error = h ? ERROR_SUCCESS : GetLastError();
  service.reset(h);
  return error;
}

DWORD Win32ScmApi::SetDescription(SC_HANDLE service, const char* description) {
  SERVICE_DESCRIPTIONA info = {};
  info.lpDescription = const_cast<char*>(description);
  return ResultOf(ChangeServiceConfig2A(service, SERVICE_CONFIG_DESCRIPTION, &info));
}

DWORD Win32ScmApi::Delete(SC_HANDLE service) { return ResultOf(::DeleteService(service)); }

DWORD Win32ScmApi::QueryStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
  status = SERVICE_STATUS_PROCESS{};
  DWORD needed = 0;
  return ResultOf(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO,
                                       reinterpret_cast<BYTE*>(&status), sizeof status, &needed));
}

DWORD Win32ScmApi::Start(SC_HANDLE service) {
  return ResultOf(StartServiceA(service, /*dwNumServiceArgs=*/0, /*lpServiceArgVectors=*/nullptr));
}

DWORD Win32ScmApi::Control(SC_HANDLE service, DWORD control, SERVICE_STATUS& status) {
  status = SERVICE_STATUS{};
  return ResultOf(::ControlService(service, control, &status));
}

DWORD Win32ScmApi::QueryStartType(SC_HANDLE service, DWORD& start_type) {
  DWORD needed = 0;
  if (QueryServiceConfigA(service, nullptr, 0, &needed)) return ERROR_INVALID_DATA;
  DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return error;
  LocalBlock block(needed);
  if (!block.get()) return GetLastError();
  auto* config = static_cast<QUERY_SERVICE_CONFIGA*>(block.get());
  if (!QueryServiceConfigA(service, config, needed, &needed)) return GetLastError();
  start_type = config->dwStartType;
  return ERROR_SUCCESS;
}

DWORD Win32ScmApi::ChangeStartType(SC_HANDLE service, DWORD start_type) {
  return ResultOf(ChangeServiceConfigA(service, /*dwServiceType=*/SERVICE_NO_CHANGE, start_type,
                                       /*dwErrorControl=*/SERVICE_NO_CHANGE,
                                       /*lpBinaryPathName=*/nullptr, /*lpLoadOrderGroup=*/nullptr,
                                       /*lpdwTagId=*/nullptr, /*lpDependencies=*/nullptr,
                                       /*lpServiceStartName=*/nullptr, /*lpPassword=*/nullptr,
                                       /*lpDisplayName=*/nullptr));
}

DWORD Win32ScmApi::EnumActiveDependents(SC_HANDLE service, std::vector<std::string>& names) {
  names.clear();
  DWORD needed = 0;
  DWORD count = 0;
  // Success with no buffer means there is no active dependent.
  if (EnumDependentServicesA(service, SERVICE_ACTIVE, nullptr, 0, &needed, &count)) {
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_MORE_DATA) return error;
  HeapBlock block(needed);
  if (!block.get()) return ERROR_NOT_ENOUGH_MEMORY;
  auto* list = static_cast<ENUM_SERVICE_STATUSA*>(block.get());
  if (!EnumDependentServicesA(service, SERVICE_ACTIVE, list, needed, &needed, &count)) {
    return GetLastError();
  }
  try {
    for (DWORD i = 0; i < count; ++i) names.emplace_back(list[i].lpServiceName);
  } catch (const std::bad_alloc&) {
    names.clear();
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

DWORD SystemClock::TickCount() { return GetTickCount(); }

void SystemClock::Sleep(DWORD milliseconds) { ::Sleep(milliseconds); }

Win32ScmApi& SystemScm() {
  static Win32ScmApi api;
  return api;
}

SystemClock& SystemTime() {
  static SystemClock clock;
  return clock;
}

}  // namespace kova_monitor
