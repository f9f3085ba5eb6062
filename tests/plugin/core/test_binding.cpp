// The binding of Nolvex.dll: a complete library is bound once; a library missing an entry is
// released and loaded again on every call; a missing library is tried again and reported; the
// result code of LoadNolvexFunction.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "core_fixture.h"
#include "test_util.h"

namespace {

using kova_test::Lines;
using kova_test::LinesOf;
using nolvex_double::Behaviour;
using nolvex_double::Entry;
using nolvex_double::Variant;

using BindingTest = kova_test::PluginCoreTest;

// The lines of one binding in which the entry shown as `missing` (if any) was not found.
Lines BindingLines(const std::string& missing) {
  Lines lines = {{"trace", "LoadLibraryExA(Nolvex.dll) ok."}};
  for (const char* shown :
       {"WS_SyncRegisterInfo", "WS_SyncSocketState", "FreeData", "WS_DoCommand"}) {
    if (missing == shown) {
      lines.push_back({"error", "GetProcAddress(" + missing + ") error."});
    } else {
      lines.push_back({"trace", std::string("GetProcAddress(") + shown + ") ok."});
    }
  }
  return lines;
}

TEST_F(BindingTest, ACompleteLibraryIsBoundOnceAndNeverAgain) {
  Start(Variant::kFull);
  host_->Init();
  host_->Init();
  EXPECT_EQ(BindingLines(""), LinesOf("LoadNolvexFunction"));
  EXPECT_EQ(1, nolvex_double::Attaches());
  EXPECT_EQ(0, nolvex_double::Detaches());
  // The binding lines sit between the first init's two lines; later inits log only their own.
  std::vector<std::string> order;
  for (const kova_test::LogLine& line : kova_test::ReadLogLines()) order.push_back(line.message);
  ASSERT_EQ(11u, order.size());
  EXPECT_EQ("LoadNolvexFunction begin...", order[0]);
  EXPECT_EQ("LoadNolvexFunction end.", order[6]);
  EXPECT_EQ("LoadNolvexFunction begin...", order[7]);
  EXPECT_EQ("LoadNolvexFunction end.", order[8]);
}

TEST_F(BindingTest, ALibraryMissingOneEntryIsReleasedAndLoadedAgainOnEveryCall) {
  const struct {
    Variant variant;
    const char* missing;
  } cases[] = {{Variant::kWithoutSyncRegisterInfo, "WS_SyncRegisterInfo"},
               {Variant::kWithoutSyncSocketState, "WS_SyncSocketState"},
               {Variant::kWithoutFreeData, "FreeData"},  // the line names it without "WS_"
               {Variant::kWithoutDoCommand, "WS_DoCommand"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.missing);
    host_.reset();  // the previous case's plug-in and library go first
    ASSERT_TRUE(kova_test::RemoveLogTree());
    nolvex_double::Reset();
    Start(c.variant);
    host_->Init();
    host_->Init();
    Lines expected;
    for (int i = 0; i < 3; ++i) {
      const Lines once = BindingLines(c.missing);
      expected.insert(expected.end(), once.begin(), once.end());
    }
    EXPECT_EQ(expected, LinesOf("LoadNolvexFunction"));
    EXPECT_EQ(3, nolvex_double::Attaches());
    EXPECT_EQ(2, nolvex_double::Detaches());
  }
}

TEST_F(BindingTest, APartialBindingStillServesTheEntriesItFound) {
  Start(Variant::kWithoutSyncRegisterInfo);
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("served"));
  Message("m");
  EXPECT_EQ("served", server_.Sends().at(0).bytes);
  EXPECT_EQ(0, nolvex_double::OutstandingBuffers());
}

TEST_F(BindingTest, NoLibraryIsReportedOnEveryCallAndInitStillReturnsTheTable) {
  StartWithoutLibrary();
  EXPECT_EQ(table_, host_->Init());
  EXPECT_EQ((Lines{{"error", "LoadLibraryExA(Nolvex.dll) error."},
                   {"error", "LoadLibraryExA(Nolvex.dll) error."}}),
            LinesOf("LoadNolvexFunction"));
  EXPECT_EQ(0, nolvex_double::Attaches());
}

TEST_F(BindingTest, ALibraryThatAppearsLaterIsBoundByTheNextInit) {
  StartWithoutLibrary();
  nolvex_double::UseVariant(Variant::kFull);
  host_->Init();
  nolvex_double::SetBehaviour(Entry::kDoCommand, Behaviour::Answer("found it"));
  Message("m");
  EXPECT_EQ("found it", server_.Sends().at(0).bytes);
  Lines expected = {{"error", "LoadLibraryExA(Nolvex.dll) error."}};
  const Lines bound = BindingLines("");
  expected.insert(expected.end(), bound.begin(), bound.end());
  EXPECT_EQ(expected, LinesOf("LoadNolvexFunction"));
}

TEST(LoadNolvexFunctionResult, IsOneOnlyWhenTheLibraryCannotBeLoaded) {
  const struct {
    std::string dir;
    unsigned long result;
  } cases[] = {{nolvex_double::VariantDir(Variant::kFull), 0},
               {nolvex_double::VariantDir(Variant::kWithoutDoCommand), 0},
               {nolvex_double::VariantDir(Variant::kWithoutFreeData), 0},
               {kova_test::ExeDir() + "nolvex\\", 1}};
  for (const auto& c : cases) {
    const std::string dir = c.dir.substr(0, c.dir.size() - 1);  // no backslash before the quote
    const kova_test::ChildResult child =
        kova_test::RunChild("plugin_core_child.exe", "bind \"" + dir + "\"", false);
    ASSERT_TRUE(child.finished) << c.dir;
    EXPECT_EQ(c.result, child.exit_code) << c.dir;
  }
}

}  // namespace
