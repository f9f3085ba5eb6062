// The full volume, 8 threads x 5,000 messages, on the plug-in's modules linked into this
// program, before the log is set up (so its lines are dropped and the run takes seconds):
// every message gets exactly one send with its own answer, context and result, also while this
// thread keeps rebinding a library that lacks an entry, as kova_ws_init does.
#include <gtest/gtest.h>

#include <string>

#include "concurrent_messages.h"
#include "kova_websocket.h"
#include "nolvex_control.h"
#include "plugin_host.h"

namespace {

using nolvex_double::Variant;

class LinkedConcurrencyTest : public testing::Test {
 protected:
  void SetUp() override {
    nolvex_double::Reset();
    kova_test::PrepareTraceableAnswers(server_);
    InitClntLookupLock();
    run_.deliver = [this](const std::string& request, void* context) {
      return wbs_on_message(nullptr, server_.get(), nullptr, context, request.data(),
                            static_cast<unsigned int>(request.size()));
    };
  }

  host_double::FakeServer server_;
  kova_test::ConcurrentMessages run_;
};

TEST_F(LinkedConcurrencyTest, RebindingAgainAndAgainUnderEightBusyThreads) {
  nolvex_double::UseVariant(Variant::kWithoutSyncRegisterInfo);
  ASSERT_EQ(0, LoadNolvexFunction());
  run_.rebind = [] { LoadNolvexFunction(); };
  const long attaches_before = nolvex_double::Attaches();
  const kova_test::ConcurrentOutcome outcome = kova_test::RunConcurrentMessages(run_);
  ASSERT_TRUE(outcome.finished);
  EXPECT_EQ(0, outcome.wrong_results);
  kova_test::ExpectOneOwnAnswerPerMessage(server_, run_);
  EXPECT_GT(outcome.rebinds, 5);
  EXPECT_EQ(attaches_before + outcome.rebinds, nolvex_double::Attaches());
  EXPECT_EQ(0, nolvex_double::DetachesWithCallsInside());
}

}  // namespace
