// Reads what the plug-in's log facility wrote after a point in time: the lines this test process
// added to wsPlugin.log, split into level, routine and message.
#pragma once

#include <string>
#include <vector>

struct LogLine {
  int level = -1;  // 1 error, 2 warn, 3 trace, 0 none, -1 unrecognised
  std::string routine;
  std::string message;
};

class LogCapture {
 public:
  // Initialises the log facility and remembers how long the log file is now.
  LogCapture();
  // Lines added since construction by this process (lines of other processes are left out
  // where the line names its process).
  std::vector<LogLine> Lines() const;
  // The messages of one routine, in order.
  std::vector<std::string> MessagesOf(const std::string& routine) const;
  // True when a line of `routine` with exactly `message` at `level` was added.
  bool Has(int level, const std::string& routine, const std::string& message) const;
  // All lines as text, for failure output.
  std::string Dump() const;

  static std::string LogPath();

 private:
  size_t start_ = 0;
};
