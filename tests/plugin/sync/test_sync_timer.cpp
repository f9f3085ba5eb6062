// The two timer exports end to end: the real kova_websocket.dll under the substitute host, the
// Nolvex.dll double recording each sync call and answering as scripted, and the IPHLPAPI.DLL
// double showing this program as the holder of the configured port.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "clog.h"
#include "iphlpapi_fixture.h"
#include "log_capture.h"
#include "nolvex_control.h"
#include "plugin_host.h"
#include "sync_test_util.h"
#include "test_util.h"

namespace {

using nolvex_double::Behaviour;
using nolvex_double::Entry;
using nolvex_double::Variant;

const char kOrigin[] = "https://sync.example";
const char kPathname[] = "/api/sync";
const char kSignKey[] = "C5A87E2019BD4F6E83D7A0B2E49C1F70";
const char kSocketAccepted[] = R"({"method":"SyncSocketState","data":true})";
const char kRegisterAccepted[] = R"({"method":"SyncRegisterInfo","data":true})";
const char kRegisterRefused[] = R"({"method":"SyncRegisterInfo","data":false})";

using TimerFn = void(WINAPI*)();

class SyncTimerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ("", iphlpapi_.error());
    iphlpapi_.SetRows({{kTcpListen, 28443, GetCurrentProcessId()}});
    WriteConf(std::string("[Default]\r\norigin=") + kOrigin + "\r\npathname=" + kPathname +
              "\r\nPort=28443\r\nProcName=" + OwnExeName() + "\r\n");
    nolvex_double::Reset();
    nolvex_double::UseVariant(Variant::kFull);
  }
  void TearDown() override {
    host_.reset();
    DeleteFileA(ConfPath().c_str());
    SetDllDirectoryA(nullptr);
  }

  static std::string ConfPath() { return kova_test::ExeDir() + "Nolvex.conf"; }
  static void WriteConf(const std::string& body) {
    ASSERT_TRUE(kova_test::WriteFileBytes(ConfPath(), body));
  }

  // Loads the plug-in (without calling kova_ws_init) and resolves both timers.
  void Load() {
    host_ = std::make_unique<host_double::PluginHost>();
    ASSERT_TRUE(host_->loaded());
    socketState_ = reinterpret_cast<TimerFn>(
        reinterpret_cast<void (*)()>(host_->Export("timer_SyncSocketState")));
    registerInfo_ = reinterpret_cast<TimerFn>(
        reinterpret_cast<void (*)()>(host_->Export("timer_SyncRegisterInfo")));
    ASSERT_NE(nullptr, socketState_);
    ASSERT_NE(nullptr, registerInfo_);
  }

  IphlpapiDouble iphlpapi_{"both"};
  std::unique_ptr<host_double::PluginHost> host_;
  TimerFn socketState_ = nullptr;
  TimerFn registerInfo_ = nullptr;
};

// The URL is the connect URL plus the query; the timestamp in it is the body's, and the
// signature is the MD5 of the key then that timestamp.
void ExpectSignedRequest(const nolvex_double::SyncCall& call, const std::string& expectedBody) {
  static const std::regex kUrl(
      R"(https://sync\.example:28443/api/sync\?clientId=7B19D0E6A2C84F53B07E6A1D9C24F815)"
      R"(&timestamp=(\d{10})&sign=([0-9A-F]{32}))");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(call.url, m, kUrl)) << call.url;
  const std::string stamp = m[1], sign = m[2];
  EXPECT_EQ(SystemMd5UpperHex(kSignKey + stamp), sign);
  std::string body = expectedBody;
  body.replace(body.find("$STAMP"), 6, stamp);
  EXPECT_EQ(body, call.body);
  EXPECT_EQ(static_cast<int>(body.size()), call.body_length);
}

const char kSocketBody[] =
    "{\"data\":{\"socketCode\":\"92990100000000000X\",\"socketPort\":\"28443\","
    "\"timeStamp\":\"$STAMP\"},\"method\":\"SyncSocketState\"}";
const char kRegisterBody[] =
    "{\"data\":{\"socketCode\":\"92990100000000000X\",\"socketName\":\"Kovatrust\","
    "\"socketNameSimpl\":\"KOVA\",\"socketPort\":\"28443\",\"timeStamp\":\"$STAMP\"},"
    "\"method\":\"SyncRegisterInfo\"}";

TEST_F(SyncTimerTest, SocketStateSendsTheSignedReportAndJudgesTheAnswer) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(kSocketAccepted));
  LogCapture log;
  socketState_();

  const auto calls = nolvex_double::SyncCalls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(Entry::kSyncSocketState, calls[0].entry);
  ExpectSignedRequest(calls[0], kSocketBody);
  EXPECT_EQ(117, calls[0].body_length);
  EXPECT_EQ(std::vector<std::string>{kSocketAccepted}, nolvex_double::FreedTexts());
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());

  const std::vector<std::string> expected = {"starting",
                                             "strURL=" + calls[0].url,
                                             "g_pfWS_SyncSocketState begin...",
                                             "g_pfWS_SyncSocketState ok.",
                                             std::string("strRes = ") + kSocketAccepted,
                                             "res.result_=1",
                                             "SyncSocketState ok.",
                                             "ending ok"};
  EXPECT_EQ(expected, log.MessagesOf("timer_SyncSocketState")) << log.Dump();
  for (const auto& l : log.Lines()) {
    if (l.function == "timer_SyncSocketState") {
      EXPECT_EQ(CLOG_TRACE, LevelOf(l)) << l.message;
    }
  }
}

TEST_F(SyncTimerTest, RegistrationAcceptedOnceIsNeverSentAgain) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kRegisterAccepted));
  {
    LogCapture log;
    registerInfo_();
    const auto calls = nolvex_double::SyncCalls();
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ(Entry::kSyncRegisterInfo, calls[0].entry);
    ExpectSignedRequest(calls[0], kRegisterBody);
    const std::vector<std::string> expected = {"starting",
                                               "strURL=" + calls[0].url,
                                               "g_pfWS_SyncRegisterInfo begin...",
                                               "g_pfWS_SyncRegisterInfo ok.",
                                               std::string("strRes = ") + kRegisterAccepted,
                                               "res.result_=1",
                                               "SyncRegisterInfo ok.",
                                               "ending ok"};
    EXPECT_EQ(expected, log.MessagesOf("timer_SyncRegisterInfo")) << log.Dump();
  }
  for (int i = 0; i < 3; ++i) {
    LogCapture log;
    registerInfo_();
    EXPECT_EQ((std::vector<std::string>{"starting", "ending ok"}),
              log.MessagesOf("timer_SyncRegisterInfo"))
        << log.Dump();
  }
  EXPECT_EQ(1u, nolvex_double::SyncCalls().size());
  // The socket state goes on being sent.
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(kSocketAccepted));
  socketState_();
  socketState_();
  EXPECT_EQ(3u, nolvex_double::SyncCalls().size());
}

TEST_F(SyncTimerTest, RegistrationRefusedOrUndecodableIsSentAgainNextTime) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kRegisterRefused));
  {
    LogCapture log;
    registerInfo_();
    const auto messages = log.MessagesOf("timer_SyncRegisterInfo");
    ASSERT_GE(messages.size(), 3u) << log.Dump();
    EXPECT_EQ("res.result_=0", messages[messages.size() - 3]);
    EXPECT_EQ("SyncRegisterInfo result is false.", messages[messages.size() - 2]);
    EXPECT_EQ("ending ok", messages.back());
    EXPECT_TRUE(
        log.Has(CLOG_ERROR, "timer_SyncRegisterInfo", "SyncRegisterInfo result is false."));
  }
  // The answer to the other report does not decode: state unchanged, sent again.
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kSocketAccepted));
  {
    LogCapture log;
    registerInfo_();
    EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncRegisterInfo", "res.Decode error.")) << log.Dump();
    EXPECT_EQ("res.Decode error.", log.MessagesOf("timer_SyncRegisterInfo").back());
  }
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kRegisterAccepted));
  registerInfo_();
  registerInfo_();
  EXPECT_EQ(3u, nolvex_double::SyncCalls().size());
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
}

TEST_F(SyncTimerTest, ErrorCodeIsLoggedAndTheAnswerLeftAlone) {
  Load();
  // The library hands out a text even though it reports an error: it is neither read nor freed.
  nolvex_double::SetBehaviour(Entry::kSyncSocketState,
                              Behaviour::Answer(kSocketAccepted, static_cast<int>(0x80072EE7)));
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::NullAnswer(-2));
  LogCapture log;
  socketState_();
  registerInfo_();
  EXPECT_EQ(0, nolvex_double::FreeCount());
  EXPECT_EQ(1, nolvex_double::OutstandingBuffers());
  EXPECT_EQ("g_pfWS_SyncSocketState error,ret=0x80072ee7",
            log.MessagesOf("timer_SyncSocketState").back())
      << log.Dump();
  EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncSocketState",
                      "g_pfWS_SyncSocketState error,ret=0x80072ee7"));
  EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncRegisterInfo",
                      "g_pfWS_SyncRegisterInfo error,ret=0xfffffffe"));
  // A failed registration is tried again.
  registerInfo_();
  EXPECT_EQ(3u, nolvex_double::SyncCalls().size());
}

TEST_F(SyncTimerTest, SuccessWithoutAnswerIsAnError) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::NullAnswer(0));
  LogCapture log;
  socketState_();
  const auto messages = log.MessagesOf("timer_SyncSocketState");
  ASSERT_GE(messages.size(), 2u);
  EXPECT_EQ("g_pfWS_SyncSocketState ok.", messages[messages.size() - 2]);
  EXPECT_EQ("pszRes == NULL", messages.back());
  EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncSocketState", "pszRes == NULL"));
  EXPECT_EQ(0, nolvex_double::FreeCount());
}

TEST_F(SyncTimerTest, AnswersTheJsonLibraryRejectsEndTheCallNormally) {
  Load();
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  for (const std::string& answer :
       {std::string(R"([{"method":"SyncSocketState","data":true}])"), deep}) {
    nolvex_double::Reset();
    nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(answer));
    LogCapture log;
    socketState_();
    const auto messages = log.MessagesOf("timer_SyncSocketState");
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ("receive a fatal error!!!", messages.back()) << log.Dump();
    EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncSocketState", "receive a fatal error!!!"));
    // The answer was copied and given back before it was judged.
    EXPECT_EQ(std::vector<std::string>{answer}, nolvex_double::FreedTexts());
  }
}

TEST_F(SyncTimerTest, EmptyConnectUrlSendsNothing) {
  Load();
  WriteConf("[Default]\r\norigin=o\r\nPort=28443\r\nProcName=someone-else.exe\r\n");
  LogCapture log;
  socketState_();
  registerInfo_();
  EXPECT_TRUE(nolvex_double::SyncCalls().empty());
  EXPECT_EQ("strURL len is zero.", log.MessagesOf("timer_SyncSocketState").back()) << log.Dump();
  EXPECT_EQ("strURL len is zero.", log.MessagesOf("timer_SyncRegisterInfo").back());
  EXPECT_TRUE(log.Has(CLOG_ERROR, "timer_SyncRegisterInfo", "strURL len is zero."));
}

struct MissingEntryCase {
  const char* name;
  bool noLibrary;
  Variant variant;
  bool socketStateRuns;
  bool registerInfoRuns;
};

void PrintTo(const MissingEntryCase& c, std::ostream* os) { *os << c.name; }

class SyncTimerBinding : public SyncTimerTest,
                         public testing::WithParamInterface<MissingEntryCase> {};

TEST_P(SyncTimerBinding, TimerRunsOnlyWithItsEntryAndTheReleaseEntry) {
  const MissingEntryCase& c = GetParam();
  if (c.noLibrary) {
    nolvex_double::UseNoLibrary();
  } else {
    nolvex_double::UseVariant(c.variant);
  }
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(kSocketAccepted));
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kRegisterAccepted));
  LogCapture log;
  socketState_();
  registerInfo_();
  const auto socket = log.MessagesOf("timer_SyncSocketState");
  const auto reg = log.MessagesOf("timer_SyncRegisterInfo");
  ASSERT_FALSE(socket.empty());
  ASSERT_FALSE(reg.empty());
  EXPECT_EQ("starting", socket.front());
  EXPECT_EQ(c.socketStateRuns ? "ending ok" : "g_pfWS_SyncSocketState == NULL || g_pfWS_FreeData == NULL",
            socket.back())
      << log.Dump();
  EXPECT_EQ(c.registerInfoRuns ? "ending ok"
                               : "g_pfWS_SyncRegisterInfo == NULL || g_pfWS_FreeData == NULL",
            reg.back())
      << log.Dump();
  EXPECT_EQ((c.socketStateRuns ? 1u : 0u) + (c.registerInfoRuns ? 1u : 0u),
            nolvex_double::SyncCalls().size());
  if (c.noLibrary) {
    EXPECT_TRUE(log.Has(CLOG_ERROR, "LoadNolvexFunction", "LoadLibraryExA(Nolvex.dll) error."));
  }
}

const MissingEntryCase kMissingEntryCases[] = {
    {"NoLibrary", true, Variant::kFull, false, false},
    {"NoFreeData", false, Variant::kWithoutFreeData, false, false},
    {"NoSyncSocketState", false, Variant::kWithoutSyncSocketState, false, true},
    {"NoSyncRegisterInfo", false, Variant::kWithoutSyncRegisterInfo, true, false},
    {"NoDoCommand", false, Variant::kWithoutDoCommand, true, true},
};

INSTANTIATE_TEST_SUITE_P(Case, SyncTimerBinding, testing::ValuesIn(kMissingEntryCases),
                         [](const testing::TestParamInfo<MissingEntryCase>& p) {
                           return std::string(p.param.name);
                         });

TEST_F(SyncTimerTest, TimerBeforeInitSetsEverythingUpItself) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(kSocketAccepted));
  LogCapture log;
  socketState_();
  ASSERT_EQ(1u, nolvex_double::SyncCalls().size());
  EXPECT_EQ("ending ok", log.MessagesOf("timer_SyncSocketState").back()) << log.Dump();
  // The export set up the plug-in's log (these lines reached the file) and bound the library.
  const auto binding = log.MessagesOf("LoadNolvexFunction");
  EXPECT_EQ(1, std::count(binding.begin(), binding.end(), "LoadLibraryExA(Nolvex.dll) ok."));
  // kova_ws_init finds the binding in place: no second load.
  const size_t bindingLines = binding.size();
  ASSERT_NE(nullptr, host_->Init());
  EXPECT_EQ(bindingLines, log.MessagesOf("LoadNolvexFunction").size()) << log.Dump();
  EXPECT_EQ((std::vector<std::string>{"LoadNolvexFunction begin...", "LoadNolvexFunction end."}),
            log.MessagesOf("kova_ws_init"));
}

// Many first calls at once on a freshly loaded plug-in: every one-time set-up is made once and
// the registration, accepted by the first answer, is sent exactly once.
TEST_F(SyncTimerTest, OverlappingFirstCallsSetUpOnceAndRegisterOnce) {
  Load();
  nolvex_double::SetBehaviour(Entry::kSyncSocketState, Behaviour::Answer(kSocketAccepted));
  nolvex_double::SetBehaviour(Entry::kSyncRegisterInfo, Behaviour::Answer(kRegisterAccepted));
  LogCapture log;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      if (i % 2) {
        socketState_();
      } else {
        registerInfo_();
      }
    });
  }
  go = true;
  for (auto& t : threads) t.join();

  int socketCalls = 0, registerCalls = 0;
  for (const auto& call : nolvex_double::SyncCalls()) {
    (call.entry == Entry::kSyncSocketState ? socketCalls : registerCalls)++;
  }
  EXPECT_EQ(4, socketCalls);
  EXPECT_EQ(1, registerCalls);
  const auto binding = log.MessagesOf("LoadNolvexFunction");
  EXPECT_EQ(1, std::count(binding.begin(), binding.end(), "LoadLibraryExA(Nolvex.dll) ok."))
      << log.Dump();
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
  const auto reg = log.MessagesOf("timer_SyncRegisterInfo");
  EXPECT_EQ(4, std::count(reg.begin(), reg.end(), "ending ok"));
  EXPECT_EQ(1, std::count(reg.begin(), reg.end(), "SyncRegisterInfo ok."));
}

}  // namespace
