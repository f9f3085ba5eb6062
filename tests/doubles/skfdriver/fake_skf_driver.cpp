// A stand-in for the vendor's SKF driver: exports the shim's 83 functions (expanded from the
// shim's export table), records every call with its raw arguments, and answers each function
// with the result a test set. Which names it really exports is decided by the .def file of the
// build variant, so a variant can lack chosen functions.
#include <windows.h>

#include <atomic>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "fake_skf_api.h"
#include "skf_entries.h"

namespace {

SRWLOCK g_recordLock = SRWLOCK_INIT;
std::vector<FakeSkfCall> g_calls;  // guarded by g_recordLock
std::atomic<ULONG> g_results[skf::ENTRY_COUNT];
std::atomic<bool> g_recording{true};
char g_eventsPath[MAX_PATH];  // empty: no events file

void AppendEvent(const std::string& line) {
  if (g_eventsPath[0] == '\0') return;
  HANDLE file = CreateFileA(g_eventsPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void Put(FakeSkfArg& arg, const BLOCKCIPHERPARAM& param) {
  arg.value = reinterpret_cast<ULONG_PTR>(&param);
  arg.size = sizeof param;
  std::memcpy(arg.bytes, &param, sizeof param);
}

template <class T>
void Put(FakeSkfArg& arg, T value) {
  if constexpr (std::is_pointer_v<T>) {
    arg.value = reinterpret_cast<ULONG_PTR>(value);
    arg.size = sizeof value;
  } else {
    static_assert(std::is_integral_v<T> && sizeof(T) == 4, "32-bit integer argument");
    arg.value = static_cast<ULONG>(value);
    arg.size = sizeof value;
  }
}

// Every SKF function of the fake driver: record the call, answer the configured result.
template <skf::EntryIndex Entry, class... A>
ULONG Answer(const A&... args) {
  static_assert(sizeof...(A) <= kFakeSkfMaxArgs, "argument count");
  const ULONG result = g_results[Entry].load(std::memory_order_relaxed);
  if (!g_recording.load(std::memory_order_relaxed)) return result;
  FakeSkfCall call{};
  call.entry = Entry;
  call.argCount = sizeof...(A);
  call.threadId = GetCurrentThreadId();
  size_t i = 0;
  (Put(call.args[i++], args), ...);
  (void)i;  // unused for a function without arguments
  AcquireSRWLockExclusive(&g_recordLock);
  call.sequence = static_cast<ULONG>(g_calls.size());
  g_calls.push_back(call);
  ReleaseSRWLockExclusive(&g_recordLock);
  AppendEvent(std::string("call ") + skf::kEntryNames[Entry]);
  return result;
}

}  // namespace

#define SKF_EXPORT(name, family, widths, params, args) \
  extern "C" ULONG WINAPI name params { return Answer<skf::ENTRY_##name> args; }
#include "skf_export_table.h"

extern "C" void WINAPI FakeSkf_Reset() {
  AcquireSRWLockExclusive(&g_recordLock);
  g_calls.clear();
  ReleaseSRWLockExclusive(&g_recordLock);
  for (auto& result : g_results) result.store(SAR_OK);
  g_recording.store(true);
}

extern "C" BOOL WINAPI FakeSkf_SetResult(LPCSTR name, ULONG result) {
  for (unsigned i = 0; i < skf::ENTRY_COUNT; ++i) {
    if (name == nullptr) {
      g_results[i].store(result);
    } else if (std::strcmp(name, skf::kEntryNames[i]) == 0) {
      g_results[i].store(result);
      return TRUE;
    }
  }
  return name == nullptr;
}

extern "C" void WINAPI FakeSkf_SetRecording(BOOL on) { g_recording.store(on != FALSE); }

extern "C" ULONG WINAPI FakeSkf_CallCount() {
  AcquireSRWLockShared(&g_recordLock);
  const ULONG count = static_cast<ULONG>(g_calls.size());
  ReleaseSRWLockShared(&g_recordLock);
  return count;
}

extern "C" BOOL WINAPI FakeSkf_GetCall(ULONG index, FakeSkfCall* call) {
  if (call == nullptr) return FALSE;
  AcquireSRWLockShared(&g_recordLock);
  const bool found = index < g_calls.size();
  if (found) *call = g_calls[index];
  ReleaseSRWLockShared(&g_recordLock);
  return found ? TRUE : FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    const DWORD n = GetEnvironmentVariableA(FAKE_SKF_EVENTS_VARIABLE, g_eventsPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) g_eventsPath[0] = '\0';
    AppendEvent("load");
  } else if (reason == DLL_PROCESS_DETACH) {
    AppendEvent("unload");
  }
  return TRUE;
}
