// Behaviour that needs a fresh process: lines before clog_init, the first clog_init raced by
// many threads, and the facility's texts reaching a real debugger through OutputDebugStringA.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "child_process.h"
#include "clog_internal.h"
#include "log_file_reader.h"
#include "log_fixture.h"
#include "test_util.h"

namespace {

using kova_test::ReadLogLines;
using kova_test::RunChild;

constexpr char kChild[] = "plugin_log_child.exe";

class LogProcessTest : public kova_test::LogTest {};

TEST_F(LogProcessTest, LinesBeforeClogInitAreDropped) {
  const kova_test::ChildResult child = RunChild(kChild, "before-init", false);
  ASSERT_TRUE(child.finished);
  ASSERT_EQ(0u, child.exit_code);
  const std::vector<kova_test::LogLine> lines = ReadLogLines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("written after clog_init", lines[0].message);
  EXPECT_EQ(kChild, lines[0].host_exe);
}

TEST_F(LogProcessTest, AFirstClogInitRacedBySixteenThreadsRunsOnce) {
  const kova_test::ChildResult child = RunChild(kChild, "init-race", false);
  ASSERT_TRUE(child.finished);
  EXPECT_EQ(1u, child.exit_code) << "times the set-up ran";
  // No thread logged before the set-up was complete: all lines are there, all with the name.
  const std::vector<kova_test::LogLine> lines = ReadLogLines();
  ASSERT_EQ(16u, lines.size());
  std::set<std::string> messages;
  for (const kova_test::LogLine& line : lines) {
    EXPECT_EQ(kChild, line.host_exe);
    messages.insert(line.message);
  }
  EXPECT_EQ(16u, messages.size());
}

TEST_F(LogProcessTest, RotationTextsReachARealDebugger) {
  MakeFileOfSize(kova_test::LogPath(), clog_detail::kRotateBytes);
  const kova_test::ChildResult child = RunChild(kChild, "one-line", true);
  ASSERT_TRUE(child.finished);
  EXPECT_EQ(0u, child.exit_code);
  EXPECT_EQ(std::vector<std::string>{"clog-------_findfirst error,GetLastError=0x00000002"},
            child.debug_texts);
  EXPECT_EQ(clog_detail::kRotateBytes, kova_test::ReadFileBytes(kova_test::BackupPath(1)).size());
  ASSERT_EQ(1u, ReadLogLines().size());
}

TEST_F(LogProcessTest, AnOpenFailureTextReachesARealDebugger) {
  MakeFileOfSize(kova_test::BackupPath(1), 1);  // makes the folders
  ASSERT_TRUE(CreateDirectoryA(kova_test::LogPath().c_str(), nullptr));
  const kova_test::ChildResult child = RunChild(kChild, "one-line", true);
  ASSERT_TRUE(child.finished);
  EXPECT_EQ(std::vector<std::string>{"[ERR] can not open file(" + kova_test::LogPath() +
                                     "), please make sure file permission."},
            child.debug_texts);
  RemoveDirectoryA(kova_test::LogPath().c_str());
}

}  // namespace
