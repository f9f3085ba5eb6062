// Rotation of the log file at 10 MiB into ten numbered backups: the choice of the backup number,
// the shift when all ten exist, the threshold, and the failures that drop a line (each with its
// exact debugger text).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "clog.h"
#include "clog_internal.h"
#include "log_file_reader.h"
#include "log_fixture.h"
#include "test_util.h"

using kova_test::BackupPath;
using kova_test::FileExists;
using kova_test::LogLine;
using kova_test::LogPath;
using kova_test::ReadFileBytes;
using kova_test::ReadLogLines;
using kova_test::WriteFileBytes;

namespace {

constexpr unsigned long long kThreshold = clog_detail::kRotateBytes;

class LogRotationTest : public kova_test::LogTest {
 protected:
  void SetUp() override {
    LogTest::SetUp();
    MakeFileOfSize(LogPath(), kThreshold);
  }

  static void WriteLine(const char* message) {
    clog_write(CLOG_TRACE, "r.cpp", 1, "rot", "%s", message);
  }

  static std::vector<std::string> LogMessages() {
    std::vector<std::string> messages;
    for (const LogLine& line : ReadLogLines()) messages.push_back(line.message);
    return messages;
  }

  // Each backup n (in `numbers`) holds the text "backup n".
  static void MakeBackups(std::initializer_list<int> numbers) {
    for (int n : numbers) ASSERT_TRUE(WriteFileBytes(BackupPath(n), "backup " + std::to_string(n)));
  }

  static std::string FindFirstText() {
    return "clog-------_findfirst error,GetLastError=0x00000002";
  }

  static std::string RenameText(const std::string& from, const std::string& to) {
    return "clog-------rename [" + from + "->" + to + "] ok.";
  }
};

// Holds a file open for reading and writing without FILE_SHARE_DELETE, so that renaming or
// deleting it fails with a sharing violation (0x20) until the holder goes away.
class FileHolder {
 public:
  explicit FileHolder(const std::string& path)
      : m_handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    EXPECT_NE(INVALID_HANDLE_VALUE, m_handle) << path;
  }
  ~FileHolder() { Release(); }
  void Release() {
    if (m_handle != INVALID_HANDLE_VALUE) CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE m_handle;
};

TEST_F(LogRotationTest, FirstRotationWithoutBackupsGoesTo001AndReportsFindFirst) {
  WriteLine("first line of the new file");
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(1)).size());
  EXPECT_EQ(std::vector<std::string>{"first line of the new file"}, LogMessages());
  EXPECT_EQ(std::vector<std::string>{FindFirstText()}, DebugTexts());
  EXPECT_FALSE(FileExists(BackupPath(2)));
}

TEST_F(LogRotationTest, ThresholdIsTenMebibytesExactly) {
  MakeFileOfSize(LogPath(), kThreshold - 1);
  WriteLine("appended without rotation");
  EXPECT_FALSE(FileExists(BackupPath(1)));
  const std::string bytes = ReadFileBytes(LogPath());
  const std::string tail = "appended without rotation\r\n";
  ASSERT_GT(bytes.size(), kThreshold);  // a file may pass the threshold by one line
  EXPECT_EQ(tail, bytes.substr(bytes.size() - tail.size()));
  EXPECT_TRUE(DebugTexts().empty());
  // Now it is above the threshold: the next line rotates.
  WriteLine("after rotation");
  EXPECT_EQ(bytes, ReadFileBytes(BackupPath(1)));
  EXPECT_EQ(std::vector<std::string>{"after rotation"}, LogMessages());
}

TEST_F(LogRotationTest, TheLowestFreeNumberIsChosen) {
  MakeBackups({1, 3});
  WriteLine("new");
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(2)).size());
  EXPECT_EQ("backup 1", ReadFileBytes(BackupPath(1)));
  EXPECT_EQ("backup 3", ReadFileBytes(BackupPath(3)));
  EXPECT_FALSE(FileExists(BackupPath(4)));
  EXPECT_TRUE(DebugTexts().empty());
}

TEST_F(LogRotationTest, OtherNamesMatchingThePatternDoNotTakeANumber) {
  // Listed by the pattern wsPlugin-*.log, but none is exactly wsPlugin-001.log.
  ASSERT_TRUE(WriteFileBytes(kova_test::LogDir() + "wsPlugin-1.log", "other"));
  ASSERT_TRUE(WriteFileBytes(kova_test::LogDir() + "wsPlugin-0010.log", "other"));
  WriteLine("new");
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(1)).size());
  EXPECT_TRUE(DebugTexts().empty());
}

TEST_F(LogRotationTest, WithAllTenBackupsTheOldestGoesAndTheOthersShiftDown) {
  MakeBackups({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  WriteLine("new");
  for (int n = 1; n <= 9; ++n)
    EXPECT_EQ("backup " + std::to_string(n + 1), ReadFileBytes(BackupPath(n)));
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(10)).size());
  EXPECT_EQ(std::vector<std::string>{"new"}, LogMessages());
  std::vector<std::string> expected = {"clog-------DeleteFileA(" + BackupPath(1) + ") ok."};
  for (int n = 2; n <= 10; ++n) expected.push_back(RenameText(BackupPath(n), BackupPath(n - 1)));
  EXPECT_EQ(expected, DebugTexts());
}

TEST_F(LogRotationTest, AFailedRenameDropsTheLineAndTheNextCallTriesAgain) {
  FileHolder holder(LogPath());
  WriteLine("dropped");
  EXPECT_EQ(kThreshold, ReadFileBytes(LogPath()).size());
  EXPECT_FALSE(FileExists(BackupPath(1)));
  const std::vector<std::string> expected = {
      FindFirstText(), "clog-------rename [" + LogPath() + "->" + BackupPath(1) +
                           "] error,ret=-1,GetLastError=0x00000020"};
  EXPECT_EQ(expected, DebugTexts());

  holder.Release();
  WriteLine("kept");
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(1)).size());
  EXPECT_EQ(std::vector<std::string>{"kept"}, LogMessages());
}

TEST_F(LogRotationTest, AFailedDeleteOfTheOldestDropsTheLineAndMovesNothing) {
  MakeBackups({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  FileHolder holder(BackupPath(1));
  WriteLine("dropped");
  for (int n = 1; n <= 10; ++n)
    EXPECT_EQ("backup " + std::to_string(n), ReadFileBytes(BackupPath(n)));
  EXPECT_EQ(kThreshold, ReadFileBytes(LogPath()).size());
  EXPECT_EQ(std::vector<std::string>{"clog-------DeleteFileA(" + BackupPath(1) +
                                     ") error.GetLastError=0x00000020"},
            DebugTexts());
}

TEST_F(LogRotationTest, AShiftThatStopsHalfWayKeepsItsRenamesAndTheGapIsFilledNext) {
  MakeBackups({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  FileHolder holder(BackupPath(5));
  WriteLine("dropped");
  std::vector<std::string> expected = {"clog-------DeleteFileA(" + BackupPath(1) + ") ok."};
  for (int n = 2; n <= 4; ++n) expected.push_back(RenameText(BackupPath(n), BackupPath(n - 1)));
  expected.push_back("clog-------rename [" + BackupPath(5) + "->" + BackupPath(4) +
                     "] error,ret=-1,GetLastError=0x00000020");
  EXPECT_EQ(expected, DebugTexts());
  EXPECT_EQ(kThreshold, ReadFileBytes(LogPath()).size());  // the line was dropped

  holder.Release();
  WriteLine("kept");
  // 004 was the gap the failed shift left; it takes the full file.
  EXPECT_EQ(kThreshold, ReadFileBytes(BackupPath(4)).size());
  EXPECT_EQ("backup 5", ReadFileBytes(BackupPath(5)));
  EXPECT_EQ("backup 2", ReadFileBytes(BackupPath(1)));
  EXPECT_EQ(std::vector<std::string>{"kept"}, LogMessages());
}

TEST_F(LogRotationTest, AFailedSizeQueryDropsTheLineWithItsText) {
  // The log directory is a file: the directory chain cannot be made, the query fails with
  // "path not found" (3).
  ASSERT_TRUE(kova_test::RemoveLogTree());
  MakeFileOfSize(BackupPath(1), 10);  // creates the folders
  ASSERT_TRUE(kova_test::RemoveTree(kova_test::LogDir()));
  ASSERT_TRUE(
      WriteFileBytes(kova_test::LogDir().substr(0, kova_test::LogDir().size() - 1), "a file"));
  WriteLine("dropped");
  EXPECT_EQ(std::vector<std::string>{"clog-------GetFileAttributesExA(" + LogPath() +
                                     ") error,ErrID=0x00000003"},
            DebugTexts());
}

TEST_F(LogRotationTest, AnUnopenableLogFileLosesTheLineWithItsText) {
  // A directory where the file should be: the size query sees 0 bytes, the open fails.
  ASSERT_TRUE(DeleteFileA(LogPath().c_str()));
  ASSERT_TRUE(CreateDirectoryA(LogPath().c_str(), nullptr));
  WriteLine("lost");
  EXPECT_EQ(std::vector<std::string>{"[ERR] can not open file(" + LogPath() +
                                     "), please make sure file permission."},
            DebugTexts());
  RemoveDirectoryA(LogPath().c_str());
}

}  // namespace
