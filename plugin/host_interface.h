// The plug-in's two boundaries, typed exactly: the host service (it loads the plug-in, calls its
// exports and the callbacks of wbs_callback_table, and offers send and get_client_info through
// its server object) and the client utility library Nolvex.dll. Every function in both
// directions is stdcall; on x86 each slot is a 32-bit word, in the x86-64 test build a pointer.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

// --- Host side -------------------------------------------------------------------------------

struct server;

// Delivers a response to the client; a NUL follows the text. The result is logged and returned
// by wbs_on_message.
typedef int(WINAPI* server_send_fn)(server* self, void* send_context, const char* data,
                                    unsigned int length);
// Writes the connected client's process id and the address of its executable path; both are
// 0 and null beforehand, and stay so for an unknown client. The result is ignored.
typedef int(WINAPI* server_get_client_info_fn)(server* self, int* pid, const char** path);

// The host's object handed to the callbacks. The plug-in reads word 9 and word 11 only.
struct server {
  void* words_0_to_8[9];
  server_send_fn send;  // word 9
  void* word_10;
  server_get_client_info_fn get_client_info;  // word 11
};

typedef void(WINAPI* wbs_on_destroy_fn)(void* ignored);
typedef server*(WINAPI* wbs_on_connect_fn)(server* srv);
typedef int(WINAPI* wbs_on_message_fn)(void* ignored1, server* srv, void* ignored2,
                                       void* send_context, const char* message,
                                       unsigned int length);
typedef void(WINAPI* wbs_on_disconnect_fn)(void* ignored, server* srv);

// The table kova_ws_init returns: six words.
struct wbs_callback_table_t {
  std::uintptr_t table_size;  // the table's size in bytes
  std::uintptr_t reserved;    // 0
  wbs_on_destroy_fn on_destroy;
  wbs_on_connect_fn on_connect;
  wbs_on_message_fn on_message;
  wbs_on_disconnect_fn on_disconnect;
};

// The plug-in's exports.
typedef const wbs_callback_table_t*(WINAPI* kova_ws_init_fn)();
typedef void(WINAPI* timer_fn)();

#if defined(__i386__)
static_assert(sizeof(wbs_callback_table_t) == 24, "the host reads a table of six 32-bit words");
static_assert(offsetof(wbs_callback_table_t, on_destroy) == 8, "on_destroy at byte 8");
static_assert(offsetof(wbs_callback_table_t, on_disconnect) == 20, "on_disconnect at byte 20");
static_assert(offsetof(server, send) == 36, "send is word 9 of server");
static_assert(offsetof(server, get_client_info) == 44, "get_client_info is word 11 of server");
#endif
static_assert(sizeof(wbs_callback_table_t) == 6 * sizeof(void*), "six words");
static_assert(offsetof(server, send) == 9 * sizeof(void*), "send is word 9");
static_assert(offsetof(server, get_client_info) == 11 * sizeof(void*),
              "get_client_info is word 11");

// --- Client utility library (Nolvex.dll) ------------------------------------------------------
// Every text the library hands out through a response pointer is its own buffer: copy it at
// once and give it back with WS_FreeData.

// Answers one request of a client; afterwards *response is null or the response text. The result
// is not examined.
typedef int(WINAPI* WS_DoCommand_fn)(int pid, const char* path, const char* request,
                                     char** response);
// Report to the sync server: 0 is success and *response then holds the server's answer; any
// other value is an error code and *response is neither read nor freed.
typedef int(WINAPI* WS_SyncSocketState_fn)(const char* url, const char* body, int body_length,
                                           char** response);
typedef int(WINAPI* WS_SyncRegisterInfo_fn)(const char* url, const char* body, int body_length,
                                            char** response);
// Gives back a text handed out by one of the three above. The result is ignored.
typedef int(WINAPI* WS_FreeData_fn)(char* data);
