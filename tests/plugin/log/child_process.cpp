// Running a helper program as a child process, optionally under a debugger loop (see
// child_process.h).
#include "child_process.h"

#include <windows.h>

#include "test_util.h"

namespace kova_test {

namespace {

struct HandleCloser {
  HANDLE handle;
  ~HandleCloser() {
    if (handle) CloseHandle(handle);
  }
};

// Reads one OUTPUT_DEBUG_STRING_EVENT's text (ANSI) out of the child.
std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  std::string text(info.nDebugStringLength, '\0');
  SIZE_T read = 0;
  if (!ReadProcessMemory(process, info.lpDebugStringData, &text[0], text.size(), &read)) return {};
  text.resize(read);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

void DebugLoop(const PROCESS_INFORMATION& child, DWORD timeout_ms, ChildResult* result) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    DEBUG_EVENT event;
    if (now >= deadline || !WaitForDebugEvent(&event, static_cast<DWORD>(deadline - now))) {
      TerminateProcess(child.hProcess, 1);
      DebugActiveProcessStop(child.dwProcessId);
      return;
    }
    DWORD verdict = DBG_CONTINUE;
    switch (event.dwDebugEventCode) {
      case OUTPUT_DEBUG_STRING_EVENT:
        result->debug_texts.push_back(ReadDebugString(child.hProcess, event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT:
        // The initial breakpoint is ours to swallow; every other exception goes to the child.
        if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
          verdict = DBG_EXCEPTION_NOT_HANDLED;
        }
        break;
      case CREATE_PROCESS_DEBUG_EVENT:
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      default:
        break;
    }
    const bool exited = event.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT &&
                        event.dwProcessId == child.dwProcessId;
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, verdict);
    if (exited) {
      result->finished = true;
      result->exit_code = event.u.ExitProcess.dwExitCode;
      return;
    }
  }
}

bool Launch(const std::string& program, const std::string& arguments, DWORD flags,
            PROCESS_INFORMATION* child) {
  std::string command = "\"" + ExeDir() + program + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  // Under load Wine may refuse a process start once with 0x54f; one retry covers it.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (CreateProcessA(/*lpApplicationName=*/nullptr, &command[0], nullptr, nullptr,
                       /*bInheritHandles=*/FALSE, flags, /*lpEnvironment=*/nullptr,
                       /*lpCurrentDirectory=*/nullptr, &startup, child)) {
      return true;
    }
  }
  return false;
}

}  // namespace

ChildResult RunChild(const std::string& program, const std::string& arguments, bool under_debugger,
                     unsigned long timeout_ms) {
  ChildResult result;
  PROCESS_INFORMATION child = {};
  result.started = Launch(program, arguments, under_debugger ? DEBUG_ONLY_THIS_PROCESS : 0, &child);
  if (!result.started) return result;
  HandleCloser process{child.hProcess};
  HandleCloser thread{child.hThread};
  if (under_debugger) {
    DebugLoop(child, timeout_ms, &result);
  } else if (WaitForSingleObject(child.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    result.finished = true;
    DWORD code = 0;
    GetExitCodeProcess(child.hProcess, &code);
    result.exit_code = code;
  } else {
    TerminateProcess(child.hProcess, 1);
  }
  return result;
}

void* StartChild(const std::string& program, const std::string& arguments) {
  PROCESS_INFORMATION child = {};
  if (!Launch(program, arguments, 0, &child)) return nullptr;
  CloseHandle(child.hThread);
  return child.hProcess;
}

}  // namespace kova_test
