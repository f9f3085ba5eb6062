// Helper program of the log and process-lock tests: each scenario needs a process of its own
// (the log facility is set up once per process, the mutex lives per process).
//   before-init                  logs one line, then clog_init, then another line
//   init-race                    16 threads make the first clog_init at once and log a line
//                                each; the exit code is how often the set-up ran
//   one-line                     clog_init and one line
//   hold-plugin READY RELEASE    loads kova_websocket.dll beside it, sets event READY and waits
//                                for event RELEASE before it ends
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "clog.h"
#include "clog_internal.h"

namespace {

int BeforeInit() {
  CLOG_T("dropped: written before clog_init");
  clog_init();
  CLOG_T("written after clog_init");
  return 0;
}

struct RaceStart {
  HANDLE go;
  int index;
};

DWORD WINAPI RaceThread(LPVOID param) {
  const RaceStart* start = static_cast<const RaceStart*>(param);
  WaitForSingleObject(start->go, INFINITE);
  clog_init();
  CLOG_T("racer %d", start->index);
  return 0;
}

int InitRace() {
  HANDLE go = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
  std::vector<RaceStart> starts(16);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 16; ++i) {
    starts[i] = {go, i};
    threads.push_back(CreateThread(nullptr, 0, RaceThread, &starts[i], 0, nullptr));
  }
  Sleep(50);  // let every thread reach the wait
  SetEvent(go);
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(go);
  return clog_detail::InitRuns();
}

int OneLine() {
  clog_init();
  CLOG_T("one line");
  return 0;
}

int HoldPlugin(const char* ready_name, const char* release_name) {
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::strcpy(std::strrchr(path, '\\') + 1, "kova_websocket.dll");
  HMODULE plugin = LoadLibraryA(path);
  if (!plugin) return 2;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, ready_name);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, release_name);
  if (!ready || !release) return 3;
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  FreeLibrary(plugin);
  return 0;
}

}  // namespace

// A crash must not end this helper with an exit code a test could take for a result.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), 99);
  return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(FailOnCrash);
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "before-init") return BeforeInit();
  if (scenario == "init-race") return InitRace();
  if (scenario == "one-line") return OneLine();
  if (scenario == "hold-plugin" && argc > 3) return HoldPlugin(argv[2], argv[3]);
  return 100;
}
