// LoadNolvexFunction: loads Nolvex.dll and binds its four entries. Readers hold the binding lock
// shared while they use the entries; a rebind holds it exclusively, so a library is never
// released under a running call and no reader sees a half-made binding.
#include "nolvex_binding.h"

#include "clog.h"

HMODULE g_hNolvex = nullptr;
WS_SyncRegisterInfo_fn g_pfWS_SyncRegisterInfo = nullptr;
WS_SyncSocketState_fn g_pfWS_SyncSocketState = nullptr;
WS_FreeData_fn g_pfWS_FreeData = nullptr;
WS_DoCommand_fn g_pfWS_DoCommand = nullptr;

namespace {

SRWLOCK g_binding_lock = SRWLOCK_INIT;

constexpr char kLibraryName[] = "Nolvex.dll";

bool IsComplete() {
  return g_hNolvex && g_pfWS_SyncRegisterInfo && g_pfWS_SyncSocketState && g_pfWS_FreeData &&
         g_pfWS_DoCommand;
}

// The entries in the order they are resolved; the release entry's lines call it "FreeData".
struct EntryRow {
  const char* name;
  const char* shown;
  void (*store)(void* entry);
};
const EntryRow kEntries[] = {
    {"WS_SyncRegisterInfo", "WS_SyncRegisterInfo",
     [](void* e) { g_pfWS_SyncRegisterInfo = reinterpret_cast<WS_SyncRegisterInfo_fn>(e); }},
    {"WS_SyncSocketState", "WS_SyncSocketState",
     [](void* e) { g_pfWS_SyncSocketState = reinterpret_cast<WS_SyncSocketState_fn>(e); }},
    {"WS_FreeData", "FreeData",
     [](void* e) { g_pfWS_FreeData = reinterpret_cast<WS_FreeData_fn>(e); }},
    {"WS_DoCommand", "WS_DoCommand",
     [](void* e) { g_pfWS_DoCommand = reinterpret_cast<WS_DoCommand_fn>(e); }},
};

}  // namespace

CNolvexUse::CNolvexUse() : m_hold(g_binding_lock) {}

int LoadNolvexFunction() {
  {
    CSrwShared look(g_binding_lock);
    if (IsComplete()) return 0;  // a complete binding never changes again
  }
  CSrwExclusive rebind(g_binding_lock);
  if (g_hNolvex) {
    if (IsComplete()) return 0;  // completed by another thread meanwhile
    FreeLibrary(g_hNolvex);
    g_hNolvex = nullptr;
  }
  g_pfWS_SyncRegisterInfo = nullptr;
  g_pfWS_SyncSocketState = nullptr;
  g_pfWS_FreeData = nullptr;
  g_pfWS_DoCommand = nullptr;

  g_hNolvex = LoadLibraryExA(kLibraryName, /*hFile=*/nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!g_hNolvex) {
    CLOG_E("LoadLibraryExA(%s) error.", kLibraryName);
    return 1;
  }
  CLOG_T("LoadLibraryExA(%s) ok.", kLibraryName);

  for (const EntryRow& row : kEntries) {
    void* const entry = reinterpret_cast<void*>(GetProcAddress(g_hNolvex, row.name));
    row.store(entry);  // null included
    if (entry) {
      CLOG_T("GetProcAddress(%s) ok.", row.shown);
    } else {
      CLOG_E("GetProcAddress(%s) error.", row.shown);
    }
  }
  return 0;
}
