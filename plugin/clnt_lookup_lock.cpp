// The client lookup lock and its one-time set-up (see clnt_lookup_lock.h).
#include "clnt_lookup_lock.h"

CRITICAL_SECTION g_csClntLookup;
volatile LONG g_bCsInited = 0;

namespace {

INIT_ONCE g_clntLookupLockOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitClntLookupLockOnce(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_csClntLookup);
  InterlockedExchange(&g_bCsInited, 1);
  return TRUE;
}

}  // namespace

void InitClntLookupLock() {
  InitOnceExecuteOnce(&g_clntLookupLockOnce, InitClntLookupLockOnce, nullptr, nullptr);
}
