// Nolvex.dll double: the four entries of the client utility library, each forwarded to the hooks
// of the test program that loaded it (see nolvex_double_abi.h). Built several times, each build
// exporting a chosen set of entries (one .def per build). Without hooks every entry answers
// nothing with result -1.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "host_interface.h"
#include "nolvex_double_abi.h"

namespace {

NolvexDoubleHooks* g_hooks = nullptr;

// Tells the program while a thread is inside the double, so that it can see an unload that
// happens under a running call.
class CInside {
 public:
  CInside() { g_hooks->enter(); }
  ~CInside() { g_hooks->leave(); }
  CInside(const CInside&) = delete;
  CInside& operator=(const CInside&) = delete;
};

[[noreturn]] void Raise(const char* entry) {
  throw std::runtime_error(std::string("Nolvex double: scripted exception in ") + entry);
}

int Sync(int entry, const char* url, const char* body, int body_length, char** response) {
  if (!g_hooks) return -1;
  CInside inside;
  char* answer = nullptr;
  int raise = 0;
  const int result = g_hooks->sync(entry, url, body, body_length, &answer, &raise);
  if (raise) Raise(entry == kNolvexSyncSocketState ? "WS_SyncSocketState" : "WS_SyncRegisterInfo");
  *response = answer;
  return result;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const auto get = reinterpret_cast<NolvexDoubleHooksGetter>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA(nullptr), KOVA_NOLVEX_DOUBLE_HOOKS)));
    g_hooks = get ? get() : nullptr;
    if (g_hooks) g_hooks->attached();
  } else if (reason == DLL_PROCESS_DETACH && g_hooks) {
    g_hooks->detached();
  }
  return TRUE;
}

int WINAPI WS_DoCommand(int pid, const char* path, const char* request, char** response) {
  if (!g_hooks) return -1;
  CInside inside;
  char* answer = nullptr;
  int raise = 0;
  const int result = g_hooks->do_command(pid, path, request, &answer, &raise);
  if (raise) Raise("WS_DoCommand");
  *response = answer;
  return result;
}

int WINAPI WS_SyncSocketState(const char* url, const char* body, int body_length, char** response) {
  return Sync(kNolvexSyncSocketState, url, body, body_length, response);
}

int WINAPI WS_SyncRegisterInfo(const char* url, const char* body, int body_length,
                               char** response) {
  return Sync(kNolvexSyncRegisterInfo, url, body, body_length, response);
}

int WINAPI WS_FreeData(char* data) {
  if (!g_hooks) return -1;
  CInside inside;
  g_hooks->free_data(data);
  return 0;
}

}  // extern "C"

// The entries must keep the exact types the plug-in calls them with.
static_assert(sizeof(static_cast<WS_DoCommand_fn>(&WS_DoCommand)) > 0, "WS_DoCommand type");
static_assert(sizeof(static_cast<WS_SyncSocketState_fn>(&WS_SyncSocketState)) > 0, "type");
static_assert(sizeof(static_cast<WS_SyncRegisterInfo_fn>(&WS_SyncRegisterInfo)) > 0, "type");
static_assert(sizeof(static_cast<WS_FreeData_fn>(&WS_FreeData)) > 0, "WS_FreeData type");
