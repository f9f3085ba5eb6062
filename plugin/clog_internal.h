// Inside view of the log facility: its constants, its pure formatting and path routines, and the
// seams the tests use (where debugger texts go, how often the set-up ran).
#pragma once

#include <cstdarg>
#include <cstddef>

namespace clog_detail {

constexpr unsigned long long kRotateBytes = 10485760;  // a file this large is rotated first
constexpr int kBackupCount = 10;                       // wsPlugin-001.log .. wsPlugin-010.log
constexpr std::size_t kLineBufferBytes = 3145728;      // the shared line buffer
constexpr std::size_t kStackBufferBytes = 8192;        // per call, when the line buffer is missing
constexpr std::size_t kPathChars = 256;                // the log path holds at most 255 characters
constexpr char kStoredPath[] = "C:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\wsPlugin.log";

// The log file path for a system directory: the stored path with its drive letter replaced by
// the first character of system_dir. False (and out left empty) when system_dir is empty.
bool MakeLogPath(const char* system_dir, char (&out)[kPathChars]);

// Formats one line into buf (capacity cap, at least 64 bytes): timestamp, header, message,
// line feed, NUL. The line never runs past cap: a message that does not fit together with the
// line feed and the NUL is left out. Returns the line's length without the NUL.
std::size_t FormatLine(char* buf, std::size_t cap, int level, const char* host_exe,
                       const char* source_file, int line, const char* function, const char* format,
                       va_list args);

// Where the facility's own trouble reports go; OutputDebugStringA unless a test redirects them.
using DebugOutput = void (*)(const char* text);
DebugOutput SetDebugOutput(DebugOutput output);  // returns the previous one

// How many times the body of clog_init has run in this process (0 or 1).
int InitRuns();

// The host executable name recorded by clog_init.
const char* HostExeName();

}  // namespace clog_detail
