// Host threads sending messages at once through the real DLL, with the log written: every
// message gets exactly one send with its own answer, context and result, also while another
// thread calls kova_ws_init again and again against a library that lacks an entry (so it is
// released and loaded again under the running dispatches); the log stays whole. (The full
// volume of 8 x 5,000 messages runs on the linked modules, test_linked_concurrency.cpp: here the
// log's open-append-close per line bounds the volume to what Wine writes in seconds.)
#include <gtest/gtest.h>

#include <string>

#include "concurrent_messages.h"
#include "core_fixture.h"

namespace {

using nolvex_double::Variant;

class ConcurrencyTest : public kova_test::PluginCoreTest {
 protected:
  void SetUp() override {
    PluginCoreTest::SetUp();
    kova_test::PrepareTraceableAnswers(server_);
    run_.threads = 8;
    run_.messages_per_thread = 500;
    run_.deliver = [this](const std::string& request, void* context) {
      return Message(request, context);
    };
  }

  // Six lines a message, every one whole, none lost.
  void ExpectWholeLog() {
    long sends = 0;
    for (const kova_test::LogLine& line : kova_test::ReadLogLines()) {
      if (line.message.rfind("wbs_on_message,server->send,ret=", 0) == 0) ++sends;
    }
    EXPECT_EQ(long{run_.threads} * run_.messages_per_thread, sends);
  }

  kova_test::ConcurrentMessages run_;
};

TEST_F(ConcurrencyTest, EightThreadsEachGetTheirOwnAnswers) {
  Start(Variant::kFull);
  const kova_test::ConcurrentOutcome outcome = kova_test::RunConcurrentMessages(run_);
  ASSERT_TRUE(outcome.finished);
  EXPECT_EQ(0, outcome.wrong_results);
  kova_test::ExpectOneOwnAnswerPerMessage(server_, run_);
  ExpectWholeLog();
}

TEST_F(ConcurrencyTest, InitRebindingAgainAndAgainLosesAndCrossesNoAnswer) {
  Start(Variant::kWithoutSyncRegisterInfo);
  run_.rebind = [this] { EXPECT_EQ(table_, host_->Init()); };
  const kova_test::ConcurrentOutcome outcome = kova_test::RunConcurrentMessages(run_);
  ASSERT_TRUE(outcome.finished);
  EXPECT_EQ(0, outcome.wrong_results);
  kova_test::ExpectOneOwnAnswerPerMessage(server_, run_);
  ExpectWholeLog();
  // The library really was released and loaded again under the running dispatches, and never
  // while a thread was inside it.
  EXPECT_GT(outcome.rebinds, 5);
  EXPECT_EQ(outcome.rebinds + 1, nolvex_double::Attaches());
  EXPECT_EQ(0, nolvex_double::DetachesWithCallsInside());
}

}  // namespace
