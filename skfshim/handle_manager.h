// The shim's shared records: devices that qualify for application sharing, applications open in
// the driver, and the application handles issued to callers, all under one in-process lock.
#pragma once

#include <windows.h>

#include "counted_ref.h"
#include "ns_mutex.h"
#include "record_list.h"
#include "shim_heap.h"
#include "skf_types.h"

// One application that the driver opened or created through the shim.
struct AppRecord {
  KOVA_SHIM_HEAP_OBJECT
  AppRecord() noexcept = default;
  ~AppRecord() { kova_shim::HeapRelease(appName); }
  AppRecord(const AppRecord&) = delete;
  AppRecord& operator=(const AppRecord&) = delete;

  DEVHANDLE hDev = nullptr;
  char* appName = nullptr;  // owned copy of the caller's name; null when the caller gave none
  HAPPLICATION hDriverApp = nullptr;
  // 1 for the record itself plus one per shim handle issued for it, while it is listed.
  LONG useCount = 0;
};

typedef kova_shim::CountedRef<AppRecord> AppRef;

// One application handle issued to a caller; its own address is the handle.
struct AppHandleRecord {
  KOVA_SHIM_HEAP_OBJECT
  AppHandleRecord() noexcept = default;
  AppHandleRecord(const AppHandleRecord&) = delete;
  AppHandleRecord& operator=(const AppHandleRecord&) = delete;

  HAPPLICATION hApp = nullptr;
  AppRef app;
};

typedef kova_shim::CountedRef<AppHandleRecord> AppHandleRef;

class CHandleManager;
// The one manager: created at process attach, deleted at process detach.
extern CHandleManager* g_handleManager;

// Every operation holds m_lock for its whole run. The lock is re-entrant, so a caller may hold
// it (through Mutex()) across several operations. No operation calls into the driver.
// Operations that need memory report false when none can be had and then change nothing.
class CHandleManager {
 public:
  KOVA_SHIM_HEAP_OBJECT

  // Returns g_handleManager, creating the manager first when there is none; null only when
  // memory for it cannot be had.
  static CHandleManager* Instance() noexcept;

  CHandleManager() noexcept = default;
  // Releases every record; calls nothing in the driver.
  virtual ~CHandleManager() = default;
  CHandleManager(const CHandleManager&) = delete;
  CHandleManager& operator=(const CHandleManager&) = delete;

  // Appends hDev to m_devices (duplicates allowed).
  bool AddDevice(DEVHANDLE hDev) noexcept;
  bool HasDevice(DEVHANDLE hDev) noexcept;
  // Forgets one listing of hDev and every application record and handle of that device.
  ULONG RemoveDevice(DEVHANDLE hDev) noexcept;

  // Lists a new record with useCount 1 and sets `ref` to it; on failure `ref` is untouched.
  bool AddApp(DEVHANDLE hDev, const char* appName, HAPPLICATION hDriverApp, AppRef& ref) noexcept;
  // The last listed record of hDev whose name equals appName byte for byte (case matters); a
  // null name matches nothing. `ref` is untouched when nothing matches.
  bool FindApp(DEVHANDLE hDev, const char* appName, AppRef& ref) noexcept;
  // Issues a shim handle for `ref` (useCount one more) and stores it in *phApp; on failure
  // *phApp and the record are untouched.
  bool AddAppHandle(const AppRef& ref, HAPPLICATION* phApp) noexcept;
  // By shim handle: forgets that handle. By driver handle: unlists the first record with that
  // hDriverApp. Either way the record's useCount falls by 1 and is stored in *pUseCount, and the
  // driver's handle in *phOut. Nothing matching: false, and the out variables are untouched.
  bool RemoveApp(bool byShimHandle, HAPPLICATION handle, HAPPLICATION* phOut,
                 LONG* pUseCount) noexcept;
  // The driver's handle behind a shim handle; any other value comes back unchanged.
  HAPPLICATION GetDriverAppHandle(HAPPLICATION handle) noexcept;

  // Closing a shim handle: RemoveApp by shim handle, and when that leaves the record's count at
  // 1 or less, also unlists that very record in the same hold of the lock, so that no open can
  // share a driver handle that is about to be closed.
  bool ReleaseAppHandle(HAPPLICATION handle, HAPPLICATION* phDriverApp, LONG* pUseCount) noexcept;
  // After a successful driver open or create: AddApp and AddAppHandle in one hold of the lock.
  // On failure nothing stays recorded and *phApp is untouched.
  bool RecordApp(DEVHANDLE hDev, const char* appName, HAPPLICATION hDriverApp,
                 HAPPLICATION* phApp) noexcept;

  CNSMutex& Mutex() noexcept { return m_lock; }
  // Read-only views of the lists for a caller that holds Mutex().
  const kova_shim::RecordArray<DEVHANDLE>& Devices() const noexcept { return m_devices; }
  const kova_shim::RecordArray<AppRef>& Apps() const noexcept { return m_apps; }
  const kova_shim::RecordArray<AppHandleRef>& Handles() const noexcept { return m_handles; }

 private:
  // Takes the handle record of `handle` out of m_handles and the index and hands out its
  // application reference; false when `handle` is no listed shim handle.
  bool TakeHandle(HAPPLICATION handle, AppRef& app) noexcept;
  // Unlists `record` from m_apps (useCount one less) when it is listed.
  void TakeOutApp(const AppRecord* record) noexcept;

  CNSMutexInProcess m_lock;
  kova_shim::RecordArray<DEVHANDLE> m_devices;
  kova_shim::RecordArray<AppRef> m_apps;
  kova_shim::RecordArray<AppHandleRef> m_handles;
  // The handle records of m_handles by address, so that translating a handle does not walk the
  // list. Always holds exactly the records listed in m_handles.
  kova_shim::PointerIndex m_handleIndex;
};

// The driver's application handle for a value a caller passes: a shim handle becomes the
// driver's handle behind it, any other value stays as it is.
inline HAPPLICATION TranslateAppHandle(HAPPLICATION handle) noexcept {
  CHandleManager* const manager = CHandleManager::Instance();
  return manager != nullptr ? manager->GetDriverAppHandle(handle) : handle;
}
