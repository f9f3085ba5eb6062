// Import-table spy for a loaded module (see import_spy.h).
#include "import_spy.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <type_traits>

namespace shim_test {

namespace {

std::mutex g_mutex;
std::vector<std::string> g_names;  // guarded by g_mutex
std::atomic<int> g_loads{0};

FARPROC(WINAPI* g_realGetProcAddress)(HMODULE, LPCSTR) = nullptr;
HMODULE(WINAPI* g_realLoadLibraryA)(LPCSTR) = nullptr;
HMODULE(WINAPI* g_realLoadLibraryW)(LPCWSTR) = nullptr;
HMODULE(WINAPI* g_realLoadLibraryExA)(LPCSTR, HANDLE, DWORD) = nullptr;
HMODULE(WINAPI* g_realLoadLibraryExW)(LPCWSTR, HANDLE, DWORD) = nullptr;

FARPROC WINAPI SpyGetProcAddress(HMODULE module, LPCSTR name) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_names.push_back(IS_INTRESOURCE(name) ? "#ordinal" : name);
  }
  return g_realGetProcAddress(module, name);
}
HMODULE WINAPI SpyLoadLibraryA(LPCSTR name) {
  ++g_loads;
  return g_realLoadLibraryA(name);
}
HMODULE WINAPI SpyLoadLibraryW(LPCWSTR name) {
  ++g_loads;
  return g_realLoadLibraryW(name);
}
HMODULE WINAPI SpyLoadLibraryExA(LPCSTR name, HANDLE file, DWORD flags) {
  ++g_loads;
  return g_realLoadLibraryExA(name, file, flags);
}
HMODULE WINAPI SpyLoadLibraryExW(LPCWSTR name, HANDLE file, DWORD flags) {
  ++g_loads;
  return g_realLoadLibraryExW(name, file, flags);
}

// The import-table slot through which module calls importedDll!function, or null.
void** FindSlot(HMODULE module, const char* importedDll, const char* function) {
  auto* base = reinterpret_cast<BYTE*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return nullptr;
  for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       desc->Name != 0; ++desc) {
    if (_stricmp(reinterpret_cast<char*>(base + desc->Name), importedDll) != 0) continue;
    const DWORD namesRva =
        desc->OriginalFirstThunk != 0 ? desc->OriginalFirstThunk : desc->FirstThunk;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + namesRva);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<char*>(byName->Name), function) == 0) {
        return reinterpret_cast<void**>(&slots->u1.Function);
      }
    }
  }
  return nullptr;
}

bool WriteSlot(void** slot, void* value) {
  DWORD old = 0;
  if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
  *slot = value;
  VirtualProtect(slot, sizeof *slot, old, &old);
  return true;
}

}  // namespace

ImportSpy::ImportSpy(HMODULE module) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_names.clear();
  }
  g_loads = 0;
  const auto hook = [&](const char* function, void* spy, auto& real) -> bool {
    void** slot = FindSlot(module, "KERNEL32.dll", function);
    if (slot == nullptr) return false;
    real = reinterpret_cast<std::remove_reference_t<decltype(real)>>(*slot);
    if (!WriteSlot(slot, spy)) return false;
    slots_.push_back({slot, reinterpret_cast<void*>(real)});
    return true;
  };
  getProcAddressHooked_ =
      hook("GetProcAddress", reinterpret_cast<void*>(&SpyGetProcAddress), g_realGetProcAddress);
  loadLibraryHooked_ =
      hook("LoadLibraryA", reinterpret_cast<void*>(&SpyLoadLibraryA), g_realLoadLibraryA);
  hook("LoadLibraryW", reinterpret_cast<void*>(&SpyLoadLibraryW), g_realLoadLibraryW);
  hook("LoadLibraryExA", reinterpret_cast<void*>(&SpyLoadLibraryExA), g_realLoadLibraryExA);
  hook("LoadLibraryExW", reinterpret_cast<void*>(&SpyLoadLibraryExW), g_realLoadLibraryExW);
}

ImportSpy::~ImportSpy() {
  for (const Slot& slot : slots_) WriteSlot(slot.address, slot.original);
}

bool ImportSpy::watchesGetProcAddress() const { return getProcAddressHooked_; }

int ImportSpy::ProcAddressRequests(const std::string& name) const {
  std::lock_guard<std::mutex> lock(g_mutex);
  int n = 0;
  for (const std::string& requested : g_names) n += requested == name ? 1 : 0;
  return n;
}

std::vector<std::string> ImportSpy::ProcAddressNames() const {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_names;
}

int ImportSpy::LibraryLoads() const { return g_loads.load(); }

}  // namespace shim_test
