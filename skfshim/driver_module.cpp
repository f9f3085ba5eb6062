// The driver holder: loading, lock-free lazy binding and release of the vendor driver.
#include "driver_module.h"

#include <cstring>

namespace skf {

CDriverModule g_driverModule;

CDriverModule::~CDriverModule() { Release(); }

BOOL CDriverModule::Load(const char* path) noexcept {
  const bool given = path != nullptr && path[0] != '\0';
  if (m_path == nullptr && given) {
    // Without memory for the copy the load still goes ahead; only a later retry is lost.
    const size_t size = std::strlen(path) + 1;
    if (void* copy = HeapAlloc(GetProcessHeap(), 0, size)) {
      std::memcpy(copy, path, size);
      m_path = static_cast<char*>(copy);
    }
  }
  if (Module() != nullptr) return TRUE;
  if (!given) {
    m_lastError.store(ERROR_INVALID_PARAMETER, std::memory_order_relaxed);
    return FALSE;
  }
  m_lastError.store(0, std::memory_order_relaxed);
  HMODULE module = LoadLibraryA(path);
  if (module != nullptr) {
    m_hModule.store(module, std::memory_order_release);
    return TRUE;
  }
  const DWORD error = GetLastError();
  m_lastError.store(error != 0 ? error : kLoadFailedWithoutError, std::memory_order_relaxed);
  return FALSE;
}

void* CDriverModule::BindSlow(EntryIndex index) noexcept {
  DriverEntry& entry = m_entries[index];
  if (entry.state.load(std::memory_order_acquire) != BIND_NOT_TRIED) {
    return entry.address.load(std::memory_order_relaxed);  // null when missing
  }
  HMODULE module = Module();
  if (module == nullptr) {
    // Retry only a load that has not failed: a failure leaves m_lastError non-zero for good.
    if (m_path == nullptr || m_path[0] == '\0' || LastError() != 0 || !Load(m_path)) {
      return nullptr;  // still BIND_NOT_TRIED: the next call asks again
    }
    module = Module();
  }
  void* address = reinterpret_cast<void*>(GetProcAddress(module, kEntryNames[index]));
  entry.address.store(address, std::memory_order_relaxed);
  entry.state.store(address != nullptr ? BIND_BOUND : BIND_MISSING, std::memory_order_release);
  return address;
}

void CDriverModule::Release() noexcept {
  HMODULE module = Module();
  if (m_ownsModule && module != nullptr) FreeLibrary(module);
  m_hModule.store(nullptr, std::memory_order_release);
  m_ownsModule = FALSE;
  if (m_path != nullptr) {
    HeapFree(GetProcessHeap(), 0, m_path);
    m_path = nullptr;
  }
}

}  // namespace skf
