// Request dispatch through the real DLL: the library's answer goes to the client unchanged and
// its buffer back to the library; every missing answer becomes the error object; the message
// bytes, the client's identity and the send context cross the boundaries exactly.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core_fixture.h"

namespace {

using kova_test::kErrorObject;
using kova_test::Lines;
using kova_test::LinesOf;
using nolvex_double::Behaviour;
using nolvex_double::Entry;
using nolvex_double::Variant;

using DispatchTest = kova_test::PluginCoreTest;

TEST_F(DispatchTest, TheLibrarysAnswerReachesTheClientUnchangedAndIsFreedOnce) {
  Start(Variant::kFull);
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("x", /*result=*/1234));
  server_.SetClient(4321, "C:\\clients\\app.exe");
  server_.SetSendResult(77);
  void* const context = reinterpret_cast<void*>(std::uintptr_t{0x1234ABCD});

  EXPECT_EQ(77, Message("{\"method\":\"A\"}", context));

  const auto sends = server_.Sends();
  ASSERT_EQ(1u, sends.size());
  EXPECT_EQ(context, sends[0].context);
  EXPECT_EQ("x", sends[0].bytes);
  EXPECT_TRUE(sends[0].nul_follows);
  const auto calls = nolvex_double::DoCommandCalls();
  ASSERT_EQ(1u, calls.size());
  EXPECT_EQ(4321, calls[0].pid);
  EXPECT_EQ("C:\\clients\\app.exe", calls[0].path);
  EXPECT_EQ("{\"method\":\"A\"}", calls[0].request);
  EXPECT_EQ(std::vector<std::string>{"x"}, nolvex_double::FreedTexts());
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
  EXPECT_EQ(0, nolvex_double::UnknownFrees());
  EXPECT_EQ(0, server_.QueriesNotPreset());

  EXPECT_EQ(
      (Lines{{"trace", "wbs_on_message..."},
             {"trace",
              "wbs_on_message,client pid(4321) client path(C:\\clients\\app.exe) do request..."},
             {"trace", "wbs_on_message,client request data({\"method\":\"A\"})..."},
             {"trace", "wbs_on_message,do_call_ax ret(0) response(x)..."},
             {"trace", "wbs_on_message,server->send,ret=77"}}),
      LinesOf("wbs_on_message"));
  EXPECT_EQ((Lines{{"trace", "do_call_ax ..."}}), LinesOf("do_call_ax"));
}

TEST_F(DispatchTest, EveryMissingAnswerIsTheErrorObjectWithItsLogLine) {
  enum class Library { kFull, kNone, kWithoutDoCommand };
  const struct {
    const char* name;
    Library library;
    Behaviour behaviour;
    Lines do_call_ax_lines;
  } cases[] = {
      {"null answer", Library::kFull, Behaviour::NullAnswer(0), {{"trace", "do_call_ax ..."}}},
      {"empty answer", Library::kFull, Behaviour::Answer(""), {{"trace", "do_call_ax ..."}}},
      {"non-zero code, no text",
       Library::kFull,
       Behaviour::NullAnswer(10014),
       {{"trace", "do_call_ax ..."}}},
      {"no library",
       Library::kNone,
       Behaviour::Answer("unused"),
       {{"trace", "do_call_ax ..."}, {"error", "g_pfWS_DoCommand NULL."}}},
      {"library without WS_DoCommand",
       Library::kWithoutDoCommand,
       Behaviour::Answer("unused"),
       {{"trace", "do_call_ax ..."}, {"error", "g_pfWS_DoCommand NULL."}}},
      {"exception in the library",
       Library::kFull,
       Behaviour::Throw(),
       {{"trace", "do_call_ax ..."}, {"error", "do_call_ax,receive a fatal error!!! \r\n"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    host_.reset();  // the previous case's plug-in and library go first
    ASSERT_TRUE(kova_test::RemoveLogTree());
    nolvex_double::Reset();
    nolvex_double::SetBehaviour(Entry::kDoCommand, c.behaviour);
    if (c.library == Library::kNone) {
      StartWithoutLibrary();
    } else {
      Start(c.library == Library::kFull ? Variant::kFull : Variant::kWithoutDoCommand);
    }
    host_double::FakeServer server;
    server.SetSendResult(5);
    EXPECT_EQ(5, table_->on_message(nullptr, server.get(), nullptr, nullptr, "req", 3));

    const auto sends = server.Sends();
    ASSERT_EQ(1u, sends.size());
    EXPECT_EQ(kErrorObject, sends[0].bytes);  // exact UTF-8 bytes, no line feed
    EXPECT_TRUE(sends[0].nul_follows);
    EXPECT_EQ(c.do_call_ax_lines, LinesOf("do_call_ax"));
    const Lines on_message = LinesOf("wbs_on_message");
    ASSERT_EQ(5u, on_message.size());
    EXPECT_EQ("wbs_on_message,do_call_ax ret(60000) response(" + std::string(kErrorObject) + ")...",
              on_message[3].second);
    EXPECT_EQ(0, nolvex_double::OutstandingBuffers());  // an empty answer is given back too
    EXPECT_EQ(0, nolvex_double::UnknownFrees());
  }
}

TEST_F(DispatchTest, EveryRequestWithoutLibraryLogsTheMissingEntryAgain) {
  StartWithoutLibrary();
  for (int i = 0; i < 3; ++i) Message("r");
  EXPECT_EQ(3u, server_.Sends().size());
  Lines expected;
  for (int i = 0; i < 3; ++i) {
    expected.push_back({"trace", "do_call_ax ..."});
    expected.push_back({"error", "g_pfWS_DoCommand NULL."});
  }
  EXPECT_EQ(expected, LinesOf("do_call_ax"));
}

TEST_F(DispatchTest, WithoutWS_FreeDataTheAnswerIsSentAndTheBufferLeftToTheLibrary) {
  Start(Variant::kWithoutFreeData);
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("kept by the library"));
  Message("r");
  ASSERT_EQ(1u, server_.Sends().size());
  EXPECT_EQ("kept by the library", server_.Sends()[0].bytes);
  EXPECT_EQ(0, nolvex_double::FreeCount());
  EXPECT_EQ(1, nolvex_double::OutstandingBuffers());
}

class MessageBytesTest : public kova_test::PluginCoreTest {
 protected:
  void SetUp() override {
    PluginCoreTest::SetUp();
    // The library echoes what it was given.
    nolvex_double::SetDoCommandAnswerer([](const nolvex_double::DoCommandCall& call) {
      return Behaviour::Answer("echo:" + call.request);
    });
    Start(Variant::kFull);
  }
};

TEST_F(MessageBytesTest, AnEmptyMessageStillRunsDispatch) {
  Message("");
  ASSERT_EQ(1u, nolvex_double::DoCommandCalls().size());
  EXPECT_EQ("", nolvex_double::DoCommandCalls()[0].request);
  EXPECT_EQ("echo:", server_.Sends().at(0).bytes);
  EXPECT_EQ("wbs_on_message,client request data()...", LinesOf("wbs_on_message").at(2).second);
}

TEST_F(MessageBytesTest, BytesAfterANulReachNeitherTheLibraryNorTheLog) {
  Message(std::string("ab\0cd", 5));
  EXPECT_EQ("ab", nolvex_double::DoCommandCalls().at(0).request);
  EXPECT_EQ("echo:ab", server_.Sends().at(0).bytes);
  EXPECT_EQ("wbs_on_message,client request data(ab)...", LinesOf("wbs_on_message").at(2).second);
}

TEST_F(MessageBytesTest, OnlyTheGivenNumberOfBytesIsRead) {
  const char frame[] = "abcdef";  // the host's frame need not end in a NUL
  table_->on_message(nullptr, server_.get(), nullptr, nullptr, frame, 3);
  EXPECT_EQ("abc", nolvex_double::DoCommandCalls().at(0).request);
}

TEST_F(MessageBytesTest, TheSendContextGoesBackUnchanged) {
  int local = 0;
  void* const contexts[] = {nullptr, reinterpret_cast<void*>(1), &local,
                            reinterpret_cast<void*>(UINTPTR_MAX),
                            reinterpret_cast<void*>(UINTPTR_MAX / 2 + 12345)};
  for (void* context : contexts) Message("c", context);
  const auto sends = server_.Sends();
  ASSERT_EQ(std::size(contexts), sends.size());
  for (std::size_t i = 0; i < sends.size(); ++i) EXPECT_EQ(contexts[i], sends[i].context);
}

TEST_F(MessageBytesTest, AnUnknownClientIsProcessZeroWithAnEmptyPath) {
  server_.SetClientUnknown();
  Message("who");
  const auto call = nolvex_double::DoCommandCalls().at(0);
  EXPECT_EQ(0, call.pid);
  EXPECT_FALSE(call.path_null);
  EXPECT_EQ("", call.path);
  EXPECT_EQ("wbs_on_message,client pid(0) client path((null)) do request...",
            LinesOf("wbs_on_message").at(1).second);
  EXPECT_EQ(1, server_.ClientQueries());
  EXPECT_EQ(0, server_.QueriesNotPreset());
}

TEST_F(MessageBytesTest, AFiveMebibyteMessageIsAnsweredAndItsLongLinesCarryNoMessage) {
  const std::string big(5u << 20, 'r');
  server_.SetSendResult(9);
  EXPECT_EQ(9, Message(big));
  const auto sends = server_.Sends();
  ASSERT_EQ(1u, sends.size());
  EXPECT_EQ("echo:" + big, sends[0].bytes);
  EXPECT_TRUE(sends[0].nul_follows);
  EXPECT_EQ(big.size(), nolvex_double::DoCommandCalls().at(0).request.size());
  // Request and response do not fit the 3 MiB line buffer: those two lines are headers only.
  EXPECT_EQ((Lines{{"trace", "wbs_on_message..."},
                   {"trace", "wbs_on_message,client pid(0) client path() do request..."},
                   {"trace", ""},
                   {"trace", ""},
                   {"trace", "wbs_on_message,server->send,ret=9"}}),
            LinesOf("wbs_on_message"));
}

TEST_F(MessageBytesTest, BytesOfNoCodePageArePassedOnUnchanged) {
  const std::string odd = "\xff\xfe\x80\x81\xc0\x7f\x01";
  Message(odd);
  EXPECT_EQ(odd, nolvex_double::DoCommandCalls().at(0).request);
  EXPECT_EQ("echo:" + odd, server_.Sends().at(0).bytes);
}

TEST_F(MessageBytesTest, ANullMessageAddressIsAnEmptyRequest) {
  table_->on_message(nullptr, server_.get(), nullptr, nullptr, nullptr, 10);
  EXPECT_EQ("", nolvex_double::DoCommandCalls().at(0).request);
  EXPECT_EQ("echo:", server_.Sends().at(0).bytes);
}

}  // namespace
