// The one-time set-up of the client lookup lock: done once, also when first calls overlap, and a
// later call never re-initialises a lock that is in use.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "kova_websocket.h"

namespace {

DWORD WINAPI TryEnter(LPVOID) {
  if (!TryEnterCriticalSection(&g_csClntLookup)) return 0;
  LeaveCriticalSection(&g_csClntLookup);
  return 1;
}

bool FreeForAnotherThread() {
  HANDLE thread = CreateThread(nullptr, 0, TryEnter, nullptr, 0, nullptr);
  WaitForSingleObject(thread, 10000);
  DWORD entered = 0;
  GetExitCodeThread(thread, &entered);
  CloseHandle(thread);
  return entered == 1;
}

struct Racer {
  HANDLE go;
};

DWORD WINAPI SetUpAfterGo(LPVOID param) {
  WaitForSingleObject(static_cast<Racer*>(param)->go, INFINITE);
  InitClntLookupLock();
  return 0;
}

TEST(ClntLookupLock, OverlappingFirstSetUpsLeaveOneWorkingLock) {
  Racer racer{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
  std::vector<HANDLE> threads;
  for (int i = 0; i < 8; ++i)
    threads.push_back(CreateThread(nullptr, 0, SetUpAfterGo, &racer, 0, nullptr));
  Sleep(20);
  SetEvent(racer.go);
  WaitForMultipleObjects(static_cast<DWORD>(threads.size()), threads.data(), TRUE, 10000);
  for (HANDLE t : threads) CloseHandle(t);
  CloseHandle(racer.go);
  EXPECT_EQ(1, g_bCsInited);
  EXPECT_TRUE(FreeForAnotherThread());
}

TEST(ClntLookupLock, ASecondInitReturnsTheSameTableAndLeavesAHeldLockHeld) {
  const wbs_callback_table_t* first = kova_ws_init();
  EXPECT_EQ(1, g_bCsInited);
  EnterCriticalSection(&g_csClntLookup);
  // A second set-up must not initialise the section again under its holder.
  EXPECT_EQ(first, kova_ws_init());
  EXPECT_EQ(&wbs_callback_table, first);
  EXPECT_FALSE(FreeForAnotherThread());
  LeaveCriticalSection(&g_csClntLookup);
  EXPECT_TRUE(FreeForAnotherThread());
}

}  // namespace
