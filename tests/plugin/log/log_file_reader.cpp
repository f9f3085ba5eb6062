// Reading the plug-in's log file back in tests (see log_file_reader.h).
#include "log_file_reader.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <regex>

#include "test_util.h"

namespace kova_test {

namespace {

std::string SystemDrive() {
  char dir[MAX_PATH] = {};
  GetSystemDirectoryA(dir, sizeof dir);
  return std::string(1, dir[0]);
}

}  // namespace

std::string LogDir() { return SystemDrive() + ":\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\"; }

std::string LogPath() { return LogDir() + "wsPlugin.log"; }

std::string BackupPath(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "wsPlugin-%03d.log", number);
  return LogDir() + name;
}

bool RemoveLogTree() { return RemoveTree(SystemDrive() + ":\\KOVAROOT"); }

std::vector<LogLine> ParseLog(const std::string& bytes, std::string* error) {
  static const std::regex kHeader(
      R"(^\[(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3})\] \[([ a-z]{5})\] \[([^\]]*)\]\((\d+)\.(\d+)\) )"
      R"(\[([^\]]*)\((\d+)\)\] \[([^\]]*)\]: )");
  std::vector<LogLine> lines;
  error->clear();
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t end = bytes.find("\r\n", pos);
    if (end == std::string::npos) {
      *error = "text after the last CR LF: " + bytes.substr(pos, 80);
      break;
    }
    const std::string text = bytes.substr(pos, end - pos);
    pos = end + 2;
    if (text.find('\n') != std::string::npos) {
      *error = "line feed without carriage return: " + text.substr(0, 80);
      break;
    }
    std::smatch m;
    if (std::regex_search(text, m, kHeader)) {
      LogLine line;
      line.timestamp = m[1];
      line.label = m[2];
      line.host_exe = m[3];
      line.pid = std::stoul(m[4]);
      line.tid = std::stoul(m[5]);
      line.file = m[6];
      line.line = std::stoi(m[7]);
      line.function = m[8];
      line.message = m.suffix();
      lines.push_back(line);
    } else if (!lines.empty()) {
      lines.back().message += "\n" + text;  // continuation of a message with a line feed
    } else {
      *error = "first line has no header: " + text.substr(0, 80);
      break;
    }
  }
  return lines;
}

std::vector<LogLine> ReadLogLines() {
  std::string error;
  std::vector<LogLine> lines = ParseLog(ReadFileBytes(LogPath()), &error);
  EXPECT_EQ("", error) << "in " << LogPath();
  return lines;
}

std::vector<std::string> MessagesOf(const std::vector<LogLine>& lines,
                                    const std::string& function) {
  std::vector<std::string> messages;
  for (const LogLine& line : lines) {
    if (line.function == function) messages.push_back(line.message);
  }
  return messages;
}

}  // namespace kova_test
