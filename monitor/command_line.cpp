// Command words of the monitor program and its entry.
#include "command_line.h"

#include <cstdio>
#include <cstring>

#include "monitor_service.h"
#include "service_ops.h"
#include "win32_scm_api.h"

namespace kova_monitor {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

struct Word {
  const char* text;
  const char* name;  // as the outcome text says it
  MonitorCommand command;
};

// In the order they are compared.
constexpr Word kWords[] = {
    {"-install", "install", MonitorCommand::kInstall},
    {"-remove", "remove", MonitorCommand::kRemove},
    {"-start", "start", MonitorCommand::kStart},
    {"-stop", "stop", MonitorCommand::kStop},
};

// The running executable's full path, as the system reports it for the process image.
DWORD ReadOwnImagePath(char (&path)[kImagePathChars]) {
  const DWORD length = GetModuleFileNameA(/*hModule=*/nullptr, path, kImagePathChars);
  if (length == 0) return GetLastError();
  if (length >= kImagePathChars) return ERROR_INSUFFICIENT_BUFFER;  // cut short: not a path
  return ERROR_SUCCESS;
}

DWORD RunAction(MonitorCommand command, ScmApi& scm, Clock& clock) {
  switch (command) {
    case MonitorCommand::kInstall: {
      char path[kImagePathChars];
      const DWORD error = ReadOwnImagePath(path);
      if (error != ERROR_SUCCESS) return error;
      return install_service(scm, path);
    }
    case MonitorCommand::kRemove:
      return remove_service(scm, clock);
    case MonitorCommand::kStart:
      return start_service_and_wait(scm, clock, kMonitorServiceName);
    case MonitorCommand::kStop:
      return stop_service(scm, clock);
    case MonitorCommand::kRunService:
      break;
  }
  return ERROR_INVALID_PARAMETER;
}

void WriteToStandardOutput(const char* text) {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return;  // no console, nothing redirected
  DWORD written = 0;
  WriteFile(out, text, static_cast<DWORD>(std::strlen(text)), &written, /*lpOverlapped=*/nullptr);
}

}  // namespace

const char* CommandTail(const char* command_line) {
  if (!command_line) return "";
  const char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && !IsBlank(*p)) ++p;
  }
  while (IsBlank(*p)) ++p;
  return p;
}

MonitorCommand ParseCommand(const char* tail) {
  if (!tail) return MonitorCommand::kRunService;
  for (const Word& word : kWords) {
    if (_stricmp(tail, word.text) == 0) return word.command;
  }
  return MonitorCommand::kRunService;
}

CommandResult RunCommand(MonitorCommand command, ScmApi& scm, Clock& clock) {
  CommandResult result = {};
  const char* name = "";
  for (const Word& word : kWords) {
    if (word.command == command) name = word.name;
  }
  const DWORD error = RunAction(command, scm, clock);
  if (error == ERROR_SUCCESS) {
    std::snprintf(result.text, sizeof result.text, "%s ok.", name);
  } else {
    std::snprintf(result.text, sizeof result.text, "%s failed, error 0x%08lx.", name,
                  static_cast<unsigned long>(error));
    result.exit_code = 1;
  }
  return result;
}

int monitor_main(const char* command_line) {
  const MonitorCommand command = ParseCommand(CommandTail(command_line));
  if (command == MonitorCommand::kRunService) {
    run_as_service();  // fails when not started by the manager; the program just ends
    return 0;
  }
  const CommandResult result = RunCommand(command, SystemScm(), SystemTime());
  WriteToStandardOutput(result.text);
  return result.exit_code;
}

}  // namespace kova_monitor
