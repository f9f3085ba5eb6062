// Running a helper program of the tests as a child process: plainly, or under a small debugger
// loop that collects what the child sends to the debugger output (OutputDebugStringA).
#pragma once

#include <string>
#include <vector>

namespace kova_test {

struct ChildResult {
  bool started = false;
  bool finished = false;  // false when it had to be ended after the time limit
  unsigned long exit_code = 0;
  std::vector<std::string> debug_texts;  // only when run under the debugger loop
};

// Runs "<program> <arguments>" (program is a file name beside the test program) and waits for
// it, at most timeout_ms.
ChildResult RunChild(const std::string& program, const std::string& arguments, bool under_debugger,
                     unsigned long timeout_ms = 30000);

// Starts "<program> <arguments>" without waiting; the process handle (null on failure) is the
// caller's to wait on and close.
void* StartChild(const std::string& program, const std::string& arguments);

}  // namespace kova_test
