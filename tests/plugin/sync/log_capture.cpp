// The lines that this test process added to the plug-in's log (see log_capture.h).
#include "log_capture.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "clog.h"
#include "test_util.h"

int LevelOf(const kova_test::LogLine& line) {
  if (line.label == "error") return CLOG_ERROR;
  if (line.label == " warn") return CLOG_WARN;
  if (line.label == "trace") return CLOG_TRACE;
  if (line.label == "     ") return 0;
  return -1;
}

LogCapture::LogCapture() {
  clog_init();
  // Starting from an empty file keeps a rotation (at 10 MiB) from moving the lines of this
  // capture into a backup. The programs that read the log in this prefix share one lock.
  DeleteFileA(kova_test::LogPath().c_str());
  start_ = kova_test::ReadFileBytes(kova_test::LogPath()).size();
}

std::vector<kova_test::LogLine> LogCapture::Lines() const {
  const std::string all = kova_test::ReadFileBytes(kova_test::LogPath());
  std::vector<kova_test::LogLine> mine;
  if (all.size() <= start_) return mine;
  std::string error;
  for (kova_test::LogLine& line : kova_test::ParseLog(all.substr(start_), &error)) {
    if (line.pid == GetCurrentProcessId()) mine.push_back(std::move(line));
  }
  EXPECT_EQ("", error) << "in " << kova_test::LogPath();
  return mine;
}

std::vector<std::string> LogCapture::MessagesOf(const std::string& routine) const {
  return kova_test::MessagesOf(Lines(), routine);
}

bool LogCapture::Has(int level, const std::string& routine, const std::string& message) const {
  for (const kova_test::LogLine& l : Lines()) {
    if (LevelOf(l) == level && l.function == routine && l.message == message) return true;
  }
  return false;
}

std::string LogCapture::Dump() const {
  std::string out;
  for (const kova_test::LogLine& l : Lines()) {
    out += "[" + l.label + "] [" + l.function + "] " + l.message + "\n";
  }
  return out;
}
