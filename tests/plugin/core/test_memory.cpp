// Memory exhaustion inside the message callback (the plug-in's modules linked into this program,
// whose operator new fails on demand): a request or an answer that cannot be copied is answered
// with the error object like any other failure, no exception leaves the callback, and the
// library's buffer is still given back.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core_fixture.h"
#include "kova_websocket.h"
#include "log_file_reader.h"
#include "nolvex_control.h"
#include "plugin_host.h"

namespace {

// Allocations of at least this many bytes fail while armed.
std::atomic<std::size_t> g_fail_from{SIZE_MAX};

void ArmAllocationFailures(std::size_t from_bytes) { g_fail_from = from_bytes; }
void DisarmAllocationFailures() { g_fail_from = SIZE_MAX; }

}  // namespace

void* operator new(std::size_t size) {
  if (size >= g_fail_from.load()) throw std::bad_alloc();
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using kova_test::kErrorObject;
using kova_test::Lines;
using kova_test::LinesOf;
using nolvex_double::Behaviour;
constexpr std::size_t kMiB = 1u << 20;

class MemoryTest : public testing::Test {
 protected:
  void SetUp() override {
    nolvex_double::Reset();
    nolvex_double::SetRecording(false);
    nolvex_double::UseVariant(nolvex_double::Variant::kFull);
    kova_ws_init();  // the modules of this program: log, lock, binding (kept for the process)
    ASSERT_TRUE(kova_test::RemoveLogTree());
    server_.SetSendResult(3);
  }
  void TearDown() override { DisarmAllocationFailures(); }

  host_double::FakeServer server_;
};

TEST_F(MemoryTest, ARequestThatCannotBeCopiedIsAnsweredWithTheErrorObject) {
  nolvex_double::SetBehaviour(nolvex_double::Entry::kDoCommand, Behaviour::Answer("unused"));
  const std::string message(2 * kMiB, 'q');
  ArmAllocationFailures(kMiB);
  const int result = wbs_on_message(nullptr, server_.get(), nullptr, nullptr, message.data(),
                                    static_cast<unsigned int>(message.size()));
  DisarmAllocationFailures();
  EXPECT_EQ(3, result);
  const auto sends = server_.Sends();
  ASSERT_EQ(1u, sends.size());
  EXPECT_EQ(kErrorObject, sends[0].bytes);
  EXPECT_EQ(0, nolvex_double::DoCommandCount());
  EXPECT_EQ((Lines{{"trace", "wbs_on_message..."},
                   {"trace", "wbs_on_message,client pid(0) client path() do request..."},
                   {"error", "wbs_on_message,receive a fatal error!!!"},
                   {"trace", "wbs_on_message,do_call_ax ret(60000) response(" +
                                 std::string(kErrorObject) + ")..."},
                   {"trace", "wbs_on_message,server->send,ret=3"}}),
            LinesOf("wbs_on_message"));
}

TEST_F(MemoryTest, AnAnswerThatCannotBeCopiedIsGivenBackAndAnsweredWithTheErrorObject) {
  // The library hands out 2 MiB; from then on large allocations fail, so the copy does.
  nolvex_double::SetDoCommandAnswerer([](const nolvex_double::DoCommandCall&) {
    Behaviour big = Behaviour::Answer(std::string(2 * kMiB, 'a'));
    ArmAllocationFailures(kMiB);
    return big;
  });
  const int result = wbs_on_message(nullptr, server_.get(), nullptr, nullptr, "small", 5);
  DisarmAllocationFailures();
  EXPECT_EQ(3, result);
  ASSERT_EQ(1u, server_.Sends().size());
  EXPECT_EQ(kErrorObject, server_.Sends()[0].bytes);
  EXPECT_EQ(1, nolvex_double::FreeCount());
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
  EXPECT_EQ(
      (Lines{{"trace", "do_call_ax ..."}, {"error", "do_call_ax,receive a fatal error!!! \r\n"}}),
      LinesOf("do_call_ax"));
}

}  // namespace
