// The process-wide lock that serialises the client lookup by local TCP port, and its one-time
// set-up (run by kova_ws_init and by both timer entry points, whichever comes first).
#pragma once

#include <windows.h>

extern CRITICAL_SECTION g_csClntLookup;
// 1 once g_csClntLookup has been initialised; never goes back to 0 (the lock is never deleted).
extern volatile LONG g_bCsInited;

// Initialises g_csClntLookup once. Safe when several threads make their first call at the same
// time: exactly one initialises, the others wait until the lock is ready.
void InitClntLookupLock();
