// The plug-in kova_websocket: its entry export, the connection callbacks the host calls through
// wbs_callback_table, and the process-wide state the plug-in's modules share.
#pragma once

#include <windows.h>

#include "host_interface.h"
#include "json_text.h"       // AnsiToUtf8, WriteJsonText
#include "nolvex_binding.h"  // g_hNolvex, g_pfWS_*, LoadNolvexFunction, CNolvexUse

// Serialises the lookup of a process by local TCP port; set up by InitClntLookupLock.
extern CRITICAL_SECTION g_csClntLookup;
// 1 once g_csClntLookup is set up.
extern volatile LONG g_bCsInited;

// Sets up g_csClntLookup once (kova_ws_init and both timer exports call it); safe when the
// first calls overlap. The lock is never deleted.
void InitClntLookupLock();

extern const wbs_callback_table_t wbs_callback_table;

extern "C" {
// Export: sets up the log, the lookup lock and the library binding; returns the callback table
// (the same address on every call).
const wbs_callback_table_t* WINAPI kova_ws_init();
}

// The callbacks of the table.
void WINAPI wbs_on_destroy(void* ignored);
server* WINAPI wbs_on_connect(server* srv);
int WINAPI wbs_on_message(void* ignored1, server* srv, void* ignored2, void* send_context,
                          const char* message, unsigned int length);
void WINAPI wbs_on_disconnect(void* ignored, server* srv);
