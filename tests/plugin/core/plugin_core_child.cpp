// Helper program of the core tests: "bind DIR" makes DIR the DLL search folder, runs
// LoadNolvexFunction in a fresh process and ends with its result as the exit code.
#include <windows.h>

#include <cstring>

#include "nolvex_binding.h"

// A crash must not end this helper with an exit code a test could take for a result.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS*) {
  TerminateProcess(GetCurrentProcess(), 99);
  return EXCEPTION_EXECUTE_HANDLER;
}

int main(int argc, char** argv) {
  SetUnhandledExceptionFilter(FailOnCrash);
  if (argc == 3 && std::strcmp(argv[1], "bind") == 0) {
    SetDllDirectoryA(argv[2]);
    return LoadNolvexFunction();
  }
  return 100;
}
