// The timer exports: one signed report per call to the sync server, through the client utility
// library. Every line they log names the export itself as its routine.
#include "sync_timer.h"

#include <cstdio>
#include <string>
#include <type_traits>

#include "clog.h"
#include "connect_url.h"
#include "kova_websocket.h"  // InitClntLookupLock
#include "nolvex_binding.h"
#include "sync_messages.h"
#include "srw_lock.h"
#include "sync_sign.h"

bool g_bRegisterSynced = false;

namespace {

const char kClientId[] = "7B19D0E6A2C84F53B07E6A1D9C24F815";

// Registration runs are serialised, so that two overlapping calls cannot both send, nor the
// later answer of one undo the acceptance the other received.
SRWLOCK g_registerLock = SRWLOCK_INIT;

// Both sync entries of the library share one signature.
using SyncEntryFn = WS_SyncSocketState_fn;
static_assert(std::is_same<WS_SyncSocketState_fn, WS_SyncRegisterInfo_fn>::value, "one signature");

// What differs between the two reports.
struct SyncReport {
  const char* routine;  // the export, named in every line
  const char* entry;    // "g_pfWS_SyncSocketState" / "g_pfWS_SyncRegisterInfo"
  const char* method;   // "SyncSocketState" / "SyncRegisterInfo"
  // The bound entry, read while the binding is held.
  SyncEntryFn (*bound)();
  std::string (*encode)(const std::string& stamp);
  bool (*decode)(const std::string& answer, SyncRes& res);
};

// Logs under the export's name, whichever helper writes the line.
#define SYNC_LOG(level, ...) \
  clog_write((level), CLOG_SOURCE_FILE, __LINE__, report.routine, __VA_ARGS__)

// Steps after the set-ups: sign, address, send, judge. False when the call ended early; the
// decoded verdict is left in *accepted.
bool SendReport(const SyncReport& report, bool* accepted) {
  {
    CNolvexUse use;
    if (!report.bound() || !g_pfWS_FreeData) {
      SYNC_LOG(CLOG_ERROR, "%s == NULL || g_pfWS_FreeData == NULL", report.entry);
      return false;
    }
  }
  std::string strSign, strTimeStamp;
  GetSyncSign(strSign, strTimeStamp);
  std::string strURL = GetConnectURL();
  if (strURL.empty()) {
    SYNC_LOG(CLOG_ERROR, "strURL len is zero.");
    return false;
  }
  char query[1024] = {};
  std::snprintf(query, sizeof query, "?clientId=%s&timestamp=%s&sign=%s", kClientId,
                strTimeStamp.c_str(), strSign.c_str());
  strURL += query;
  SYNC_LOG(CLOG_TRACE, "strURL=%s", strURL.c_str());
  const std::string body = report.encode(strTimeStamp);

  std::string strRes;
  {
    // Held from reading the entries until the answer is given back: the library cannot be
    // released and rebound meanwhile.
    CNolvexUse use;
    const SyncEntryFn send = report.bound();
    if (!send || !g_pfWS_FreeData) {  // rebound since the check above
      SYNC_LOG(CLOG_ERROR, "%s == NULL || g_pfWS_FreeData == NULL", report.entry);
      return false;
    }
    SYNC_LOG(CLOG_TRACE, "%s begin...", report.entry);
    CNolvexText pszRes;
    const int r = send(strURL.c_str(), body.c_str(), static_cast<int>(body.size()),
                       pszRes.receive());
    if (r != 0) {
      pszRes.Forget();  // after an error the pointer is neither read nor given back
      SYNC_LOG(CLOG_ERROR, "%s error,ret=0x%08x", report.entry, static_cast<unsigned>(r));
      return false;
    }
    SYNC_LOG(CLOG_TRACE, "%s ok.", report.entry);
    if (!pszRes.get()) {
      SYNC_LOG(CLOG_ERROR, "pszRes == NULL");
      return false;
    }
    strRes = pszRes.get();
    pszRes.Release();
  }
  SYNC_LOG(CLOG_TRACE, "strRes = %s", strRes.c_str());
  SyncRes res;
  if (!report.decode(strRes, res)) {
    SYNC_LOG(CLOG_ERROR, "res.Decode error.");
    return false;
  }
  SYNC_LOG(CLOG_TRACE, "res.result_=%d", res.result_ ? 1 : 0);
  *accepted = res.result_;
  return true;
}

void LogVerdict(const SyncReport& report, bool accepted) {
  if (accepted) {
    SYNC_LOG(CLOG_TRACE, "%s ok.", report.method);
  } else {
    SYNC_LOG(CLOG_ERROR, "%s result is false.", report.method);
  }
  SYNC_LOG(CLOG_TRACE, "ending ok");
}

// The set-ups every export makes first (the same as kova_ws_init's), each safe against
// overlapping first calls.
void SetUp(const SyncReport& report) {
  SYNC_LOG(CLOG_TRACE, "starting");
  InitClntLookupLock();
  LoadNolvexFunction();
}

const SyncReport kSocketState = {
    "timer_SyncSocketState", "g_pfWS_SyncSocketState", "SyncSocketState",
    [] { return g_pfWS_SyncSocketState; },
    [](const std::string& stamp) { return SyncSocketStateReq(stamp).Encode(); },
    SyncSocketStateReq::Decode};

const SyncReport kRegisterInfo = {
    "timer_SyncRegisterInfo", "g_pfWS_SyncRegisterInfo", "SyncRegisterInfo",
    [] { return g_pfWS_SyncRegisterInfo; },
    [](const std::string& stamp) { return SyncRegisterInfoReq(stamp).Encode(); },
    SyncRegisterInfoReq::Decode};

}  // namespace

void WINAPI timer_SyncSocketState() {
  const SyncReport& report = kSocketState;
  clog_init();
  try {
    SetUp(report);
    bool accepted = false;
    if (SendReport(report, &accepted)) LogVerdict(report, accepted);
  } catch (...) {
    SYNC_LOG(CLOG_ERROR, "receive a fatal error!!!");
  }
}

void WINAPI timer_SyncRegisterInfo() {
  const SyncReport& report = kRegisterInfo;
  clog_init();
  try {
    SetUp(report);
    CSrwExclusive run(g_registerLock);
    if (g_bRegisterSynced) {
      SYNC_LOG(CLOG_TRACE, "ending ok");
      return;
    }
    bool accepted = false;
    if (SendReport(report, &accepted)) {
      g_bRegisterSynced = accepted;
      LogVerdict(report, accepted);
    }
  } catch (...) {
    SYNC_LOG(CLOG_ERROR, "receive a fatal error!!!");
  }
}
