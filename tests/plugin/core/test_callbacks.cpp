// The entry export and the connection callbacks: the table the host gets, what each callback
// logs about the client, and a host object that offers nothing to call.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: psapi needs its types.
#include <psapi.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core_fixture.h"

namespace {

using kova_test::Lines;
using kova_test::LinesOf;
using nolvex_double::Behaviour;
using nolvex_double::Entry;
using nolvex_double::Variant;

using CallbackTest = kova_test::PluginCoreTest;

TEST_F(CallbackTest, InitReturnsOneConstantTableInTheHostsLayout) {
  Start(Variant::kFull);
  const wbs_callback_table_t* again = host_->Init();
  EXPECT_EQ(table_, again);
  EXPECT_EQ(6 * sizeof(void*), table_->table_size);
  EXPECT_EQ(0u, table_->reserved);
  const std::set<void*> callbacks = {
      reinterpret_cast<void*>(table_->on_destroy), reinterpret_cast<void*>(table_->on_connect),
      reinterpret_cast<void*>(table_->on_message), reinterpret_cast<void*>(table_->on_disconnect)};
  EXPECT_EQ(4u, callbacks.size());
  EXPECT_EQ(0u, callbacks.count(nullptr));
  // The table and the callbacks live in the plug-in's own image.
  MODULEINFO image = {};
  ASSERT_TRUE(GetModuleInformation(GetCurrentProcess(), host_->module(), &image, sizeof image));
  const auto begin = reinterpret_cast<std::uintptr_t>(image.lpBaseOfDll);
  const auto end = begin + image.SizeOfImage;
  const auto inside = [&](const void* p) {
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    return at >= begin && at < end;
  };
  EXPECT_TRUE(inside(table_));
  for (void* callback : callbacks) EXPECT_TRUE(inside(callback));
  // Each init logs its two lines around the binding.
  EXPECT_EQ((Lines{{"trace", "LoadNolvexFunction begin..."},
                   {"trace", "LoadNolvexFunction end."},
                   {"trace", "LoadNolvexFunction begin..."},
                   {"trace", "LoadNolvexFunction end."}}),
            LinesOf("kova_ws_init"));
}

TEST_F(CallbackTest, ConnectReturnsItsServerAndLogsTheClient) {
  Start(Variant::kFull);
  server_.SetClient(77, "C:\\Program Files\\client.exe");
  EXPECT_EQ(server_.get(), table_->on_connect(server_.get()));
  EXPECT_EQ((Lines{{"trace", "wbs_on_connect..."},
                   {"trace",
                    "wbs_on_connect,client pid(77) client path(C:\\Program Files\\client.exe) "
                    "connected..."}}),
            LinesOf("wbs_on_connect"));
  EXPECT_EQ(1, server_.ClientQueries());
  EXPECT_EQ(0, server_.QueriesNotPreset());
  EXPECT_TRUE(server_.Sends().empty());
}

TEST_F(CallbackTest, DisconnectLogsTheClientOrNullForAnUnknownOne) {
  Start(Variant::kFull);
  server_.SetClient(12, "D:\\a.exe");
  table_->on_disconnect(reinterpret_cast<void*>(0x99), server_.get());
  server_.SetClientUnknown();
  table_->on_disconnect(nullptr, server_.get());
  EXPECT_EQ(
      (Lines{{"trace", "wbs_on_disconnect..."},
             {"trace", "wbs_on_disconnect,client pid(12) client path(D:\\a.exe) disconnect..."},
             {"trace", "wbs_on_disconnect..."},
             {"trace", "wbs_on_disconnect,client pid(0) client path((null)) disconnect..."}}),
      LinesOf("wbs_on_disconnect"));
  EXPECT_EQ(0, server_.QueriesNotPreset());
}

TEST_F(CallbackTest, DestroyLogsTwoLinesAndReleasesNothing) {
  Start(Variant::kFull);
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("still bound"));
  table_->on_destroy(nullptr);
  EXPECT_EQ((Lines{{"trace", "wbs_on_destroy..."}, {"trace", "wbs_on_destroy ok."}}),
            LinesOf("wbs_on_destroy"));
  Message("after destroy");
  EXPECT_EQ("still bound", server_.Sends().at(0).bytes);
  EXPECT_EQ(0, nolvex_double::Detaches());
}

TEST_F(CallbackTest, AHostObjectWithoutItsFunctionsCrashesNothing) {
  Start(Variant::kFull);
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("answer"));
  host_double::FakeServer bare;
  bare.RemoveGetClientInfo();
  bare.RemoveSend();
  EXPECT_EQ(-1, table_->on_message(nullptr, bare.get(), nullptr, nullptr, "m", 1));
  EXPECT_EQ(bare.get(), table_->on_connect(bare.get()));
  table_->on_disconnect(nullptr, bare.get());
  EXPECT_EQ(nullptr, table_->on_connect(nullptr));
  EXPECT_EQ(-1, table_->on_message(nullptr, nullptr, nullptr, nullptr, "m", 1));
  table_->on_disconnect(nullptr, nullptr);
  // The library was still asked, with an unknown client, and its buffers were given back.
  ASSERT_EQ(2u, nolvex_double::DoCommandCalls().size());
  EXPECT_EQ(0, nolvex_double::DoCommandCalls()[0].pid);
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
  const Lines lines = LinesOf("wbs_on_message");
  ASSERT_EQ(10u, lines.size());
  EXPECT_EQ("wbs_on_message,client pid(0) client path((null)) do request...", lines[1].second);
  EXPECT_EQ("wbs_on_message,server->send,ret=-1", lines[4].second);
  EXPECT_EQ("wbs_on_message,server->send,ret=-1", lines[9].second);
}

}  // namespace
