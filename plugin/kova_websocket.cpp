// The plug-in's entry export kova_ws_init and its connection callbacks: each callback asks the
// host who the client is and logs it; a message is copied, answered by do_call_ax and the
// answer sent back through the host with the context it came with.
#include "kova_websocket.h"

#include <cstring>
#include <string>

#include "clog.h"
#include "dispatch.h"
#include "result_codes.h"

CRITICAL_SECTION g_csClntLookup;
volatile LONG g_bCsInited = 0;

const wbs_callback_table_t wbs_callback_table = {
    sizeof(wbs_callback_table_t),
    0,
    wbs_on_destroy,
    wbs_on_connect,
    wbs_on_message,
    wbs_on_disconnect,
};

namespace {

INIT_ONCE g_lookup_lock_once = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK SetUpLookupLock(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_csClntLookup);
  InterlockedExchange(&g_bCsInited, 1);
  return TRUE;
}

// Asks the host for the client's process id and executable path: 0 and null when the host
// writes nothing (or offers no way to ask).
void QueryClient(server* srv, int* pid, const char** path) noexcept {
  *pid = 0;
  *path = nullptr;
  if (!srv || !srv->get_client_info) return;
  try {
    srv->get_client_info(srv, pid, path);
  } catch (...) {  // the host's trouble must not leave the callback
    *pid = 0;
    *path = nullptr;
  }
}

// The host's send, or -1 when there is nothing to send through.
int Send(server* srv, void* send_context, const char* text, std::size_t length) noexcept {
  if (!srv || !srv->send) return -1;
  try {
    return srv->send(srv, send_context, text, static_cast<unsigned int>(length));
  } catch (...) {
    return -1;
  }
}

}  // namespace

void InitClntLookupLock() {
  InitOnceExecuteOnce(&g_lookup_lock_once, SetUpLookupLock, nullptr, nullptr);
}

const wbs_callback_table_t* WINAPI kova_ws_init() {
  clog_init();
  InitClntLookupLock();
  CLOG_T("LoadNolvexFunction begin...");
  LoadNolvexFunction();  // dispatch copes with whatever could not be bound
  CLOG_T("LoadNolvexFunction end.");
  return &wbs_callback_table;
}

server* WINAPI wbs_on_connect(server* srv) {
  CLOG_T("wbs_on_connect...");
  int pid = 0;
  const char* path = nullptr;
  QueryClient(srv, &pid, &path);
  CLOG_T("wbs_on_connect,client pid(%d) client path(%s) connected...", pid, path);
  return srv;
}

void WINAPI wbs_on_disconnect(void*, server* srv) {
  CLOG_T("wbs_on_disconnect...");
  int pid = 0;
  const char* path = nullptr;
  QueryClient(srv, &pid, &path);
  CLOG_T("wbs_on_disconnect,client pid(%d) client path(%s) disconnect...", pid, path);
}

void WINAPI wbs_on_destroy(void*) {
  CLOG_T("wbs_on_destroy...");
  CLOG_T("wbs_on_destroy ok.");
}

int WINAPI wbs_on_message(void*, server* srv, void*, void* send_context, const char* message,
                          unsigned int length) {
  CLOG_T("wbs_on_message...");
  int pid = 0;
  const char* path = nullptr;
  QueryClient(srv, &pid, &path);
  CLOG_T("wbs_on_message,client pid(%d) client path(%s) do request...", pid, path);
  if (!path) path = "";

  std::string response;
  int result = CODE_EXCEPTION;
  try {
    // The frame's bytes exactly as received; nothing is decoded or checked.
    const std::string request = message ? std::string(message, length) : std::string();
    CLOG_T("wbs_on_message,client request data(%s)...", request.c_str());
    result = do_call_ax(request, pid, path, response);
  } catch (...) {  // the request could not be copied: answered like any other failure
    CLOG_E("wbs_on_message,receive a fatal error!!!");
  }
  const bool have_response = !response.empty();
  const char* text = have_response ? response.c_str() : kExceptionAnswerUtf8;
  const std::size_t text_length = have_response ? response.size() : std::strlen(text);
  CLOG_T("wbs_on_message,do_call_ax ret(%d) response(%s)...", result, text);
  const int sent = Send(srv, send_context, text, text_length);
  CLOG_T("wbs_on_message,server->send,ret=%d", sent);
  return sent;
}
