// The handle manager's operations on its three lists and the index beside m_handles.
#include "handle_manager.h"

#include <cstring>

CHandleManager* g_handleManager = nullptr;

namespace {

// Owned copy of a zero-terminated name; null for a null name. `ok` is false when memory for a
// non-null name cannot be had.
char* CopyName(const char* name, bool& ok) noexcept {
  ok = true;
  if (!name) return nullptr;
  const std::size_t bytes = std::strlen(name) + 1;
  char* copy = static_cast<char*>(kova_shim::HeapAllocate(bytes));
  if (!copy) {
    ok = false;
    return nullptr;
  }
  std::memcpy(copy, name, bytes);
  return copy;
}

}  // namespace

CHandleManager* CHandleManager::Instance() noexcept {
  if (!g_handleManager) {
    // Normally made at process attach; this creates it only when that failed. Two threads that
    // get here at once keep one manager between them.
    CHandleManager* made = new (std::nothrow) CHandleManager();
    if (made &&
        InterlockedCompareExchangePointer(reinterpret_cast<PVOID volatile*>(&g_handleManager), made,
                                          nullptr) != nullptr) {
      delete made;
    }
  }
  return g_handleManager;
}

bool CHandleManager::AddDevice(DEVHANDLE hDev) noexcept {
  CNSAutoLock hold(&m_lock);
  return m_devices.PushBack(hDev);
}

bool CHandleManager::HasDevice(DEVHANDLE hDev) noexcept {
  CNSAutoLock hold(&m_lock);
  for (std::size_t i = 0; i < m_devices.Size(); ++i) {
    if (m_devices[i] == hDev) return true;
  }
  return false;
}

ULONG CHandleManager::RemoveDevice(DEVHANDLE hDev) noexcept {
  CNSAutoLock hold(&m_lock);
  for (std::size_t i = 0; i < m_devices.Size(); ++i) {
    if (m_devices[i] == hDev) {
      m_devices.EraseAt(i);
      break;
    }
  }
  m_handles.RemoveIf([&](const AppHandleRef& handle) {
    if (handle->app->hDev != hDev) return false;
    --handle->app->useCount;
    m_handleIndex.Erase(handle.Get());
    return true;
  });
  m_apps.RemoveIf([&](const AppRef& app) {
    if (app->hDev != hDev) return false;
    --app->useCount;
    return true;
  });
  return 0;
}

bool CHandleManager::AddApp(DEVHANDLE hDev, const char* appName, HAPPLICATION hDriverApp,
                            AppRef& ref) noexcept {
  bool nameOk = false;
  char* name = CopyName(appName, nameOk);
  if (!nameOk) return false;
  AppRecord* record = new (std::nothrow) AppRecord();
  if (!record) {
    kova_shim::HeapRelease(name);
    return false;
  }
  record->hDev = hDev;
  record->appName = name;
  record->hDriverApp = hDriverApp;
  record->useCount = 1;
  AppRef made = AppRef::Adopt(record);
  if (!made) return false;

  CNSAutoLock hold(&m_lock);
  if (!m_apps.PushBack(made)) return false;
  ref = made;
  return true;
}

bool CHandleManager::FindApp(DEVHANDLE hDev, const char* appName, AppRef& ref) noexcept {
  if (!appName) return false;
  CNSAutoLock hold(&m_lock);
  const AppRef* found = nullptr;
  for (std::size_t i = 0; i < m_apps.Size(); ++i) {
    const AppRecord* app = m_apps[i].Get();
    if (app->hDev == hDev && app->appName && std::strcmp(app->appName, appName) == 0) {
      found = &m_apps[i];
    }
  }
  if (!found) return false;
  ref = *found;
  return true;
}

bool CHandleManager::AddAppHandle(const AppRef& ref, HAPPLICATION* phApp) noexcept {
  if (!ref || !phApp) return false;
  AppHandleRef handle = AppHandleRef::Adopt(new (std::nothrow) AppHandleRecord());
  if (!handle) return false;

  CNSAutoLock hold(&m_lock);
  if (!m_handles.ReserveOneMore() || !m_handleIndex.ReserveOneMore()) return false;
  handle->hApp = handle.Get();
  handle->app = ref;
  ++ref->useCount;
  m_handleIndex.Insert(handle.Get());
  m_handles.PushBack(handle);  // cannot fail after ReserveOneMore
  *phApp = handle->hApp;
  return true;
}

bool CHandleManager::TakeHandle(HAPPLICATION handle, AppRef& app) noexcept {
  if (!m_handleIndex.Contains(handle)) return false;
  for (std::size_t i = 0; i < m_handles.Size(); ++i) {
    if (m_handles[i]->hApp == handle) {
      app = m_handles[i]->app;
      m_handleIndex.Erase(handle);
      m_handles.EraseAt(i);
      return true;
    }
  }
  return false;
}

void CHandleManager::TakeOutApp(const AppRecord* record) noexcept {
  for (std::size_t i = 0; i < m_apps.Size(); ++i) {
    if (m_apps[i].Get() == record) {
      --m_apps[i]->useCount;
      m_apps.EraseAt(i);
      return;
    }
  }
}

bool CHandleManager::RemoveApp(bool byShimHandle, HAPPLICATION handle, HAPPLICATION* phOut,
                               LONG* pUseCount) noexcept {
  CNSAutoLock hold(&m_lock);
  AppRef app;
  if (byShimHandle) {
    if (!TakeHandle(handle, app)) return false;
  } else {
    std::size_t i = 0;
    while (i < m_apps.Size() && m_apps[i]->hDriverApp != handle) ++i;
    if (i == m_apps.Size()) return false;
    app = m_apps[i];
    m_apps.EraseAt(i);
  }
  const LONG useCount = --app->useCount;
  if (pUseCount) *pUseCount = useCount;
  if (phOut) *phOut = app->hDriverApp;
  return true;
}

HAPPLICATION CHandleManager::GetDriverAppHandle(HAPPLICATION handle) noexcept {
  CNSAutoLock hold(&m_lock);
  // Only a value found in the index is a live handle record and may be read through.
  if (!m_handleIndex.Contains(handle)) return handle;
  return static_cast<AppHandleRecord*>(handle)->app->hDriverApp;
}

bool CHandleManager::ReleaseAppHandle(HAPPLICATION handle, HAPPLICATION* phDriverApp,
                                      LONG* pUseCount) noexcept {
  CNSAutoLock hold(&m_lock);
  AppRef app;
  if (!TakeHandle(handle, app)) return false;
  const LONG useCount = --app->useCount;
  if (useCount <= 1) TakeOutApp(app.Get());
  if (pUseCount) *pUseCount = useCount;
  if (phDriverApp) *phDriverApp = app->hDriverApp;
  return true;
}

bool CHandleManager::RecordApp(DEVHANDLE hDev, const char* appName, HAPPLICATION hDriverApp,
                               HAPPLICATION* phApp) noexcept {
  CNSAutoLock hold(&m_lock);
  AppRef app;
  if (!AddApp(hDev, appName, hDriverApp, app)) return false;
  if (AddAppHandle(app, phApp)) return true;
  TakeOutApp(app.Get());
  return false;
}
