// The two timer exports the host calls when it chooses: each sends one report to the sync server
// through the client utility library, signed and addressed from the configuration.
#pragma once

#include <windows.h>

// The result of the last registration answer that could be decoded; once true, registration is
// never sent again while the library stays loaded.
extern bool g_bRegisterSynced;

extern "C" {
// Sends the socket-state report (method "SyncSocketState") at every call.
void WINAPI timer_SyncSocketState();
// Sends the registration report (method "SyncRegisterInfo") until the server has accepted it.
// Overlapping calls run one after another, so an accepted registration is never sent again.
void WINAPI timer_SyncRegisterInfo();
}
