// Reads the plug-in's log lines added by this process (see log_capture.h).
#include "log_capture.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "clog.h"
#include "test_util.h"

namespace {

int LevelOf(const std::string& label) {
  if (label == "error" || label == "1") return 1;
  if (label == " warn" || label == "2") return 2;
  if (label == "trace" || label == "3") return 3;
  if (label == "     " || label == "0") return 0;
  return -1;
}

// A header names its process as "(pid.tid)"; true when it names another process than this one.
bool FromOtherProcess(const std::string& header) {
  size_t open = header.find("](");
  if (open == std::string::npos) return false;
  const unsigned long pid = std::strtoul(header.c_str() + open + 2, nullptr, 10);
  return pid != GetCurrentProcessId();
}

}  // namespace

std::string LogCapture::LogPath() {
  char sys[MAX_PATH] = {};
  GetSystemDirectoryA(sys, sizeof sys);
  std::string path = "C:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\wsPlugin.log";
  if (sys[0]) path[0] = sys[0];
  return path;
}

LogCapture::LogCapture() {
  clog_init();
  start_ = kova_test::ReadFileBytes(LogPath()).size();
}

std::vector<LogLine> LogCapture::Lines() const {
  const std::string all = kova_test::ReadFileBytes(LogPath());
  std::vector<LogLine> lines;
  if (all.size() <= start_) return lines;
  std::istringstream in(all.substr(start_));
  std::string text;
  while (std::getline(in, text)) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    const size_t colon = text.find("]: ");
    if (colon == std::string::npos) continue;  // continuation of a message with a line feed
    const std::string header = text.substr(0, colon);
    if (FromOtherProcess(header)) continue;
    const size_t open = header.rfind('[');
    if (open == std::string::npos) continue;
    LogLine line;
    line.routine = header.substr(open + 1);
    line.message = text.substr(colon + 3);
    // The level label is the first bracketed group that names a level.
    for (size_t at = header.find('['); at != std::string::npos && at < open;
         at = header.find('[', at + 1)) {
      const size_t close = header.find(']', at);
      if (close == std::string::npos) break;
      const int level = LevelOf(header.substr(at + 1, close - at - 1));
      if (level >= 0) {
        line.level = level;
        break;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> LogCapture::MessagesOf(const std::string& routine) const {
  std::vector<std::string> out;
  for (const LogLine& l : Lines())
    if (l.routine == routine) out.push_back(l.message);
  return out;
}

bool LogCapture::Has(int level, const std::string& routine, const std::string& message) const {
  for (const LogLine& l : Lines())
    if (l.level == level && l.routine == routine && l.message == message) return true;
  return false;
}

std::string LogCapture::Dump() const {
  std::string out;
  for (const LogLine& l : Lines())
    out += std::to_string(l.level) + " [" + l.routine + "] " + l.message + "\n";
  return out;
}
