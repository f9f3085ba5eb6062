// The monitor's command line: one of four words runs one action and prints its outcome;
// anything else runs the program as the service.
#pragma once

#include <windows.h>

#include "scm_api.h"

namespace kova_monitor {

enum class MonitorCommand { kInstall, kRemove, kStart, kStop, kRunService };

// The text after the program's own name (quoted or not), with leading blanks removed.
const char* CommandTail(const char* command_line);

// The whole tail compared, case-insensitively, with "-install", "-remove", "-start" and
// "-stop"; anything else (also a word with something after it) means kRunService.
MonitorCommand ParseCommand(const char* tail);

struct CommandResult {
  int exit_code;
  char text[64];  // written to standard output as it is, without a line ending
};

// Runs one command word (not kRunService). The text is "<word> ok." when the action did its
// job or found nothing to do, and "<word> failed, error 0x%08x." with a non-zero exit code
// when it failed.
CommandResult RunCommand(MonitorCommand command, ScmApi& scm, Clock& clock);

// The program: runs the command line's word, or the service.
int monitor_main(const char* command_line);

}  // namespace kova_monitor
