// The exports that keep the device and application records: connect and disconnect, and
// create, open and close of applications. Callers only ever hold application handles issued
// here; devices whose serial number begins with "59" share one driver handle among repeated
// opens of an application. No driver function is called while the manager's lock is held.
#include <cstring>

#include "handle_manager.h"
#include "skf_driver_calls.h"
#include "skf_exports.h"

namespace {

// The device information the shim asks for itself. Drivers lay DEVINFO out byte-packed (294
// bytes) or naturally aligned (296 bytes); the buffer takes the larger, and SerialNumber lies at
// byte 162 either way.
constexpr std::size_t kDevInfoBytes = 296;
constexpr std::size_t kSerialNumberOffset = 162;
static_assert(offsetof(DEVINFO, SerialNumber) == kSerialNumberOffset, "DEVINFO::SerialNumber");
static_assert(sizeof(DEVINFO) <= kDevInfoBytes, "the buffer holds either packing");

union DevInfoBuffer {
  DEVINFO info;
  BYTE bytes[kDevInfoBytes];
};

// Devices whose serial number begins with the two characters 5 and 9 share applications.
bool SharesApplications(const DevInfoBuffer& buffer) {
  return std::memcmp(buffer.bytes + kSerialNumberOffset, "59", 2) == 0;
}

// After the driver opened or created an application: record it and hand the caller a shim
// handle in place of the driver's. When memory for that is short, the caller keeps the driver's
// own handle, which translation passes through unchanged.
void IssueShimHandle(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication) {
  if (phApplication == nullptr) return;
  if (CHandleManager* manager = CHandleManager::Instance()) {
    manager->RecordApp(hDev, szAppName, *phApplication, phApplication);
  }
}

// On a device that shares applications, another shim handle for an application already open
// there; false when the driver must be asked.
bool ShareOpenApplication(DEVHANDLE hDev, LPSTR szAppName, HAPPLICATION* phApplication) {
  CHandleManager* manager = CHandleManager::Instance();
  if (manager == nullptr || phApplication == nullptr) return false;
  // One hold across the look-up and the new handle, so that no close can unlist the record
  // in between.
  CNSAutoLock hold(&manager->Mutex());
  AppRef app;
  return manager->HasDevice(hDev) && manager->FindApp(hDev, szAppName, app) &&
         manager->AddAppHandle(app, phApplication);
}

}  // namespace

SKF_API ULONG WINAPI SKF_ConnectDev(LPSTR szName, DEVHANDLE* phDev) {
  const ULONG result = skf::driver::SKF_ConnectDev(szName, phDev);
  if (result != SAR_OK || phDev == nullptr) return result;
  const DEVHANDLE hDev = *phDev;
  DevInfoBuffer buffer;
  std::memset(&buffer, 0, sizeof buffer);
  if (skf::driver::SKF_GetDevInfo(hDev, &buffer.info) == SAR_OK && SharesApplications(buffer)) {
    if (CHandleManager* manager = CHandleManager::Instance()) manager->AddDevice(hDev);
  }
  return SAR_OK;
}

SKF_API ULONG WINAPI SKF_DisConnectDev(DEVHANDLE hDev) {
  if (CHandleManager* manager = CHandleManager::Instance()) manager->RemoveDevice(hDev);
  return skf::driver::SKF_DisConnectDev(hDev);
}

SKF_API ULONG WINAPI SKF_CreateApplication(DEVHANDLE hDev, LPSTR szAppName, LPSTR szAdminPin,
                                           DWORD dwAdminPinRetryCount, LPSTR szUserPin,
                                           DWORD dwUserPinRetryCount, DWORD dwCreateFileRights,
                                           HAPPLICATION* phApplication) {
  const ULONG result = skf::driver::SKF_CreateApplication(
      hDev, szAppName, szAdminPin, dwAdminPinRetryCount, szUserPin, dwUserPinRetryCount,
      dwCreateFileRights, phApplication);
  if (result != SAR_OK) return result;
  IssueShimHandle(hDev, szAppName, phApplication);
  return SAR_OK;
}

SKF_API ULONG WINAPI SKF_OpenApplication(DEVHANDLE hDev, LPSTR szAppName,
                                         HAPPLICATION* phApplication) {
  if (ShareOpenApplication(hDev, szAppName, phApplication)) return SAR_OK;
  const ULONG result = skf::driver::SKF_OpenApplication(hDev, szAppName, phApplication);
  if (result != SAR_OK) return result;
  IssueShimHandle(hDev, szAppName, phApplication);
  return SAR_OK;
}

SKF_API ULONG WINAPI SKF_CloseApplication(HAPPLICATION hApplication) {
  CHandleManager* manager = CHandleManager::Instance();
  HAPPLICATION toClose = hApplication;
  LONG useCount = 0;
  // Releasing the last shared handle also unlists its record before the driver is asked, so
  // that no open can share the driver handle while it is being closed.
  const bool issued =
      manager != nullptr && manager->ReleaseAppHandle(hApplication, &toClose, &useCount);
  if (issued && useCount > 1) return SAR_OK;  // other shim handles still use the application
  const ULONG result = skf::driver::SKF_CloseApplication(toClose);
  if (!issued && manager != nullptr) {
    // A value that is no shim handle: forget a record of that driver handle, if there is one.
    HAPPLICATION removed = nullptr;
    LONG removedCount = 0;
    manager->RemoveApp(false, toClose, &removed, &removedCount);
  }
  return result;
}
