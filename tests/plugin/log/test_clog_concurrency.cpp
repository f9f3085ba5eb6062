// Many threads logging at once while the file rotates: every line lands whole in exactly one
// file, never interleaved with another, in each thread's own order.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "clog.h"
#include "clog_internal.h"
#include "log_file_reader.h"
#include "log_fixture.h"
#include "test_util.h"

namespace {

using LogConcurrencyTest = kova_test::LogTest;

constexpr int kThreads = 8;
constexpr int kLinesPerThread = 2000;

struct Writer {
  int index;
  HANDLE go;
};

DWORD WINAPI WriteLines(LPVOID param) {
  const Writer* writer = static_cast<const Writer*>(param);
  WaitForSingleObject(writer->go, INFINITE);
  const unsigned long tid = GetCurrentThreadId();
  for (int n = 0; n < kLinesPerThread; ++n) {
    // The padding makes a torn or interleaved line show as a broken message.
    CLOG_T("writer=%d tid=%lu n=%d pad=%s end", writer->index, tid, n,
           "abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789");
  }
  return 0;
}

TEST_F(LogConcurrencyTest, EveryLineLandsWholeInExactlyOneFileDuringARotation) {
  // About a quarter of the lines fit before the threshold: the rotation happens mid-run.
  MakeFileOfSize(kova_test::LogPath(), clog_detail::kRotateBytes - 600000);
  HANDLE go = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
  std::vector<Writer> writers;
  for (int i = 0; i < kThreads; ++i) writers.push_back({i, go});
  std::vector<HANDLE> threads;
  for (Writer& writer : writers)
    threads.push_back(CreateThread(nullptr, 0, WriteLines, &writer, 0, nullptr));
  SetEvent(go);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(kThreads, threads.data(), TRUE, 90000));
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(go);

  EXPECT_EQ(std::vector<std::string>{"clog-------_findfirst error,GetLastError=0x00000002"},
            DebugTexts());
  ASSERT_FALSE(kova_test::FileExists(kova_test::BackupPath(2)));

  // The backup holds the prefilled bytes, then the lines written before the rotation.
  std::string backup = kova_test::ReadFileBytes(kova_test::BackupPath(1));
  const std::size_t prefill = clog_detail::kRotateBytes - 600000;
  ASSERT_GE(backup.size(), clog_detail::kRotateBytes);
  backup.erase(0, prefill);
  std::string error;
  std::vector<kova_test::LogLine> lines = kova_test::ParseLog(backup, &error);
  ASSERT_EQ("", error);
  const std::size_t before_rotation = lines.size();
  const std::vector<kova_test::LogLine> after = kova_test::ReadLogLines();
  lines.insert(lines.end(), after.begin(), after.end());
  EXPECT_GT(before_rotation, 0u);
  EXPECT_GT(after.size(), 0u);
  ASSERT_EQ(static_cast<std::size_t>(kThreads * kLinesPerThread), lines.size());

  std::map<int, int> next_of_writer;  // each writer's lines appear in its own order
  const std::string exe = ThisExeName();
  for (const kova_test::LogLine& line : lines) {
    int writer = -1, n = -1;
    unsigned long tid = 0;
    char pad[128] = {};
    char end[8] = {};
    ASSERT_EQ(5, std::sscanf(line.message.c_str(), "writer=%d tid=%lu n=%d pad=%127s %7s", &writer,
                             &tid, &n, pad, end))
        << line.message;
    EXPECT_STREQ("abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz0123456789", pad);
    EXPECT_STREQ("end", end);
    EXPECT_EQ(tid, line.tid) << "header and message of one line from different threads";
    EXPECT_EQ(GetCurrentProcessId(), line.pid);
    EXPECT_EQ(exe, line.host_exe);
    EXPECT_EQ("trace", line.label);
    ASSERT_EQ(next_of_writer[writer], n) << "writer " << writer;
    ++next_of_writer[writer];
  }
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(kLinesPerThread, next_of_writer[i]);
}

}  // namespace
