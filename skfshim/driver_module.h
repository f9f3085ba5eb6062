// The holder of the vendor driver library: loads it once, binds each driver function by name
// on its first use without taking a lock, and releases the library exactly once.
#pragma once

#include <windows.h>

#include <atomic>

#include "skf_entries.h"

namespace skf {

// Binding states of a driver entry. An entry only moves forward, from BIND_NOT_TRIED to one of
// the other two, and only while a driver is loaded.
enum : LONG {
  BIND_NOT_TRIED = 0,  // not asked yet (or no driver was loaded when asked)
  BIND_MISSING = 1,    // the loaded driver does not export the name; final
  BIND_BOUND = 2,      // address is the driver's function
};

// Binding of one driver function. The address is stored before the state says bound, so a
// reader that sees BIND_BOUND (acquire) always sees the address.
struct DriverEntry {
  std::atomic<void*> address{nullptr};
  std::atomic<LONG> state{BIND_NOT_TRIED};
};

// Error recorded for a failed load whose GetLastError() was 0: a failed load always leaves a
// non-zero error, which is what stops any later attempt.
constexpr DWORD kLoadFailedWithoutError = 0x20000000;

class CDriverModule {
 public:
  // Constant initialisation: everything zero except m_ownsModule, so the holder is ready before
  // any code of the library runs.
  constexpr CDriverModule() noexcept
      : m_hModule(nullptr), m_lastError(0), m_ownsModule(TRUE), m_path(nullptr), m_entries{} {}
  ~CDriverModule();
  CDriverModule(const CDriverModule&) = delete;
  CDriverModule& operator=(const CDriverModule&) = delete;

  // Keeps a copy of the first non-empty path it is given (later retries use it), then loads
  // the library unless one is loaded already. TRUE when a driver is loaded afterwards.
  // A null or empty path loads nothing and records ERROR_INVALID_PARAMETER.
  BOOL Load(const char* path) noexcept;

  // The driver's function for an entry, binding it on first use; null when it cannot be had
  // (no driver loaded, or the name missing from it).
  void* Bind(EntryIndex index) noexcept {
    void* address = BoundAddress(index);
    return address != nullptr ? address : BindSlow(index);
  }

  // The entry's address once it is bound, else null (without trying to bind). This is the
  // whole cost of a forwarded call after the first: one read of the state, one of the address.
  void* BoundAddress(EntryIndex index) const noexcept {
    const DriverEntry& entry = m_entries[index];
    if (entry.state.load(std::memory_order_acquire) != BIND_BOUND) return nullptr;
    return entry.address.load(std::memory_order_relaxed);
  }

  // Binding of an entry that BoundAddress did not find bound: steps of the first use.
  void* BindSlow(EntryIndex index) noexcept;

  // Frees the library if this holder owns it and forgets it and the stored path. Entry states
  // are left as they are. Makes no call into the driver.
  void Release() noexcept;

  HMODULE Module() const noexcept { return m_hModule.load(std::memory_order_acquire); }
  DWORD LastError() const noexcept { return m_lastError.load(std::memory_order_relaxed); }
  BOOL OwnsModule() const noexcept { return m_ownsModule; }
  const char* Path() const noexcept { return m_path; }
  LONG EntryState(EntryIndex index) const noexcept {
    return m_entries[index].state.load(std::memory_order_acquire);
  }

 private:
  std::atomic<HMODULE> m_hModule;  // the loaded driver; null while none is loaded
  std::atomic<DWORD> m_lastError;  // error of the last failed load; 0 since an attempt began
  BOOL m_ownsModule;               // Release() frees m_hModule
  char* m_path;                    // heap copy of the path given to the first load
  DriverEntry m_entries[ENTRY_COUNT];
};

// The shim's one driver holder.
extern CDriverModule g_driverModule;

}  // namespace skf
