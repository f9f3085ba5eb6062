// Reading the plug-in's log file back in tests: where it lies, its lines split into their fields,
// and clearing it between tests.
#pragma once

#include <string>
#include <vector>

namespace kova_test {

// C:\KOVAROOT\KOVAlog\KOVAWsCoreSvr\ with the system drive letter, and the files in it.
std::string LogDir();
std::string LogPath();               // wsPlugin.log
std::string BackupPath(int number);  // wsPlugin-001.log .. wsPlugin-010.log

// Removes the whole C:\KOVAROOT tree; true when it is gone.
bool RemoveLogTree();

// One line of the log, split into its fields. A line whose message held line feeds carries the
// continuation lines (which have no header) in its message, joined with "\n".
struct LogLine {
  std::string timestamp;  // "2023-05-06 07:08:09.010"
  std::string label;      // the five characters between the brackets, e.g. " warn"
  std::string host_exe;
  unsigned long pid = 0;
  unsigned long tid = 0;
  std::string file;
  int line = 0;
  std::string function;
  std::string message;
};

// Splits the bytes of a log file. Every line feed must come as CR LF and the first line must
// carry a header; anything else is reported in *error (and parsing stops there). A CR of the
// message itself stays in the message (a message ending "\r\n" reads back as "\r\n").
std::vector<LogLine> ParseLog(const std::string& bytes, std::string* error);

// ParseLog of the current log file; an unreadable or malformed file fails the calling test.
std::vector<LogLine> ReadLogLines();

// The messages of the lines written by one routine, in file order.
std::vector<std::string> MessagesOf(const std::vector<LogLine>& lines, const std::string& function);

}  // namespace kova_test
