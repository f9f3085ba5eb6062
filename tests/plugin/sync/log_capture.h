// The lines that this test process added to the plug-in's log after a point in time.
#pragma once

#include <string>
#include <vector>

#include "log_file_reader.h"

// The level a line was written at (CLOG_ERROR, CLOG_WARN, CLOG_TRACE, 0), from its label; -1
// for a label no level writes.
int LevelOf(const kova_test::LogLine& line);

class LogCapture {
 public:
  // Initialises the log facility and starts the log file afresh.
  LogCapture();
  // Lines added since construction by this process (other processes may share the file).
  std::vector<kova_test::LogLine> Lines() const;
  // The messages of one routine, in order.
  std::vector<std::string> MessagesOf(const std::string& routine) const;
  // True when a line of `routine` with exactly `message` at `level` was added.
  bool Has(int level, const std::string& routine, const std::string& message) const;
  // All lines as text, for failure output.
  std::string Dump() const;

 private:
  size_t start_ = 0;
};
