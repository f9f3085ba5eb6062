// A stand-in for the vendor's SKF driver: exports the shim's 83 functions (expanded from the
// shim's export table), records every call with its raw arguments, and answers each function
// with the result a test set. Connects and application opens and creates hand out fresh
// handles, the device information carries a chosen serial number, and every application
// handle's closes and uses are counted. Which names it really exports is decided by the .def file
// of the build variant, so a variant can lack chosen functions.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <tuple>
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

// Handles the fake hands out: distinct values that no heap block of a test program can have.
constexpr ULONGLONG kDevHandleBase = 0x0DE0000000000000ull;
constexpr ULONGLONG kAppHandleBase = 0x0DA0000000000000ull;
constexpr ULONG kMaxAppHandles = 1u << 20;

std::atomic<ULONG> g_devicesIssued{0};
// Application handle number n is kAppHandleBase + 16 * n. Numbers keep counting over resets;
// a reset starts the statistics at the next number.
std::atomic<ULONG> g_appsIssued{0};
std::atomic<ULONG> g_firstAppSinceReset{0};
std::atomic<ULONG> g_appCloses[kMaxAppHandles];
std::atomic<ULONG> g_closes{0}, g_repeatedCloses{0}, g_foreignCloses{0};
std::atomic<ULONG> g_usesAfterClose{0}, g_foreignUses{0};
std::atomic<ULONG> g_closeDelayMs{0};
SRWLOCK g_serialLock = SRWLOCK_INIT;
char g_serial[32];  // guarded by g_serialLock

HANDLE NewAppHandle() {
  const ULONG n = g_appsIssued.fetch_add(1);
  if (n < kMaxAppHandles) g_appCloses[n].store(0);
  return reinterpret_cast<HANDLE>(kAppHandleBase + 16ull * n);
}

// The close counter of an application handle this driver handed out since the last reset,
// else null.
std::atomic<ULONG>* ClosesOf(HANDLE app) {
  const ULONGLONG value = reinterpret_cast<ULONG_PTR>(app);
  if (value < kAppHandleBase || (value - kAppHandleBase) % 16 != 0) return nullptr;
  const ULONGLONG n = (value - kAppHandleBase) / 16;
  if (n < g_firstAppSinceReset.load() || n >= g_appsIssued.load() || n >= kMaxAppHandles) {
    return nullptr;
  }
  return &g_appCloses[n];
}

void NoteAppUse(HANDLE app) {
  std::atomic<ULONG>* closes = ClosesOf(app);
  if (closes == nullptr) {
    ++g_foreignUses;
  } else if (closes->load() != 0) {
    ++g_usesAfterClose;
  }
}

void NoteAppClose(HANDLE app) {
  std::atomic<ULONG>* closes = ClosesOf(app);
  if (closes == nullptr) {
    ++g_foreignCloses;
    return;
  }
  ++g_closes;
  if (closes->fetch_add(1) != 0) ++g_repeatedCloses;
  if (const ULONG delay = g_closeDelayMs.load()) Sleep(delay);
}

void FillDevInfo(void* info) {
  // The naturally aligned layout: 296 bytes, SerialNumber at byte 162.
  BYTE* bytes = static_cast<BYTE*>(info);
  std::memset(bytes, 0, 296);
  AcquireSRWLockShared(&g_serialLock);
  std::memcpy(bytes + 162, g_serial, sizeof g_serial);
  ReleaseSRWLockShared(&g_serialLock);
}

// What a function does besides answering: hand out handles, fill the device information, count
// closes and uses of application handles. Output pointers are written only on success.
template <skf::EntryIndex Entry, bool AppHandleFirst, class... A>
void Act(ULONG result, const A&... args) {
  const auto arg = std::forward_as_tuple(args...);
  if constexpr (AppHandleFirst) NoteAppUse(std::get<0>(arg));
  if constexpr (Entry == skf::ENTRY_SKF_CloseApplication) NoteAppClose(std::get<0>(arg));
  if (result != SAR_OK) return;
  if constexpr (Entry == skf::ENTRY_SKF_ConnectDev) {
    if (std::get<1>(arg) != nullptr) {
      *std::get<1>(arg) = reinterpret_cast<DEVHANDLE>(kDevHandleBase + 16ull * g_devicesIssued++);
    }
  } else if constexpr (Entry == skf::ENTRY_SKF_GetDevInfo) {
    if (std::get<1>(arg) != nullptr) FillDevInfo(std::get<1>(arg));
  } else if constexpr (Entry == skf::ENTRY_SKF_OpenApplication) {
    if (std::get<2>(arg) != nullptr) *std::get<2>(arg) = NewAppHandle();
  } else if constexpr (Entry == skf::ENTRY_SKF_CreateApplication) {
    if (std::get<7>(arg) != nullptr) *std::get<7>(arg) = NewAppHandle();
  }
}

// Every SKF function of the fake driver: act, record the call, answer the configured result.
template <skf::EntryIndex Entry, bool AppHandleFirst, class... A>
ULONG Answer(const A&... args) {
  static_assert(sizeof...(A) <= kFakeSkfMaxArgs, "argument count");
  const ULONG result = g_results[Entry].load(std::memory_order_relaxed);
  Act<Entry, AppHandleFirst>(result, args...);
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

enum Family { PLAIN, APPHANDLE, TRACKING };

}  // namespace

#define SKF_EXPORT(name, family, widths, params, args)          \
  extern "C" ULONG WINAPI name params {                         \
    return Answer<skf::ENTRY_##name, family == APPHANDLE> args; \
  }
#include "skf_export_table.h"

extern "C" void WINAPI FakeSkf_Reset() {
  AcquireSRWLockExclusive(&g_recordLock);
  g_calls.clear();
  ReleaseSRWLockExclusive(&g_recordLock);
  for (auto& result : g_results) result.store(SAR_OK);
  g_recording.store(true);
  AcquireSRWLockExclusive(&g_serialLock);
  std::memset(g_serial, 0, sizeof g_serial);
  ReleaseSRWLockExclusive(&g_serialLock);
  g_firstAppSinceReset.store(g_appsIssued.load());
  for (auto* counter :
       {&g_closes, &g_repeatedCloses, &g_foreignCloses, &g_usesAfterClose, &g_foreignUses}) {
    counter->store(0);
  }
  g_closeDelayMs.store(0);
}

extern "C" void WINAPI FakeSkf_SetSerialNumber(LPCSTR serial) {
  AcquireSRWLockExclusive(&g_serialLock);
  std::memset(g_serial, 0, sizeof g_serial);
  if (serial != nullptr)
    std::memcpy(g_serial, serial, std::min(std::strlen(serial), sizeof g_serial));
  ReleaseSRWLockExclusive(&g_serialLock);
}

extern "C" void WINAPI FakeSkf_GetAppStats(FakeSkfAppStats* stats) {
  if (stats == nullptr) return;
  const ULONG first = g_firstAppSinceReset.load();
  const ULONG issued = g_appsIssued.load();
  stats->issued = issued - first;
  stats->closes = g_closes.load();
  stats->repeatedCloses = g_repeatedCloses.load();
  stats->foreignCloses = g_foreignCloses.load();
  stats->usesAfterClose = g_usesAfterClose.load();
  stats->foreignUses = g_foreignUses.load();
  stats->lastIssued = issued > first ? kAppHandleBase + 16ull * (issued - 1) : 0;
}

extern "C" ULONG WINAPI FakeSkf_AppHandleCloses(HANDLE app) {
  const std::atomic<ULONG>* closes = ClosesOf(app);
  return closes != nullptr ? closes->load() : 0xFFFFFFFF;
}

extern "C" void WINAPI FakeSkf_SetCloseDelay(ULONG milliseconds) {
  g_closeDelayMs.store(milliseconds);
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
