// Test program entry: GoogleTest plus a watchdog that ends a hung test program fast (under Wine
// a deadlock would otherwise stall the whole run until CTest's timeout).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {

DWORD WINAPI Watchdog(LPVOID param) {
  const DWORD seconds = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(param));
  Sleep(seconds * 1000);
  std::fprintf(stderr, "watchdog: test program still running after %lu s, ending it\n",
               static_cast<unsigned long>(seconds));
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return 0;
}

// A crash on any thread fails the test program. Without this, Wine hands the crash to its
// debugger, which sometimes ends the process with exit code 0: CTest would see a pass.
LONG WINAPI FailOnCrash(EXCEPTION_POINTERS* info) {
  std::fprintf(stderr, "unhandled exception 0x%08lx at %p on thread %lu\n",
               info->ExceptionRecord->ExceptionCode, info->ExceptionRecord->ExceptionAddress,
               GetCurrentThreadId());
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 4);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  SetUnhandledExceptionFilter(FailOnCrash);
  DWORD seconds = 100;
  if (const char* s = std::getenv("KOVA_TEST_WATCHDOG_S"))
    seconds = static_cast<DWORD>(std::atoi(s));
  if (seconds > 0) {
    HANDLE t = CreateThread(/*lpThreadAttributes=*/nullptr, 0, Watchdog,
                            reinterpret_cast<LPVOID>(static_cast<ULONG_PTR>(seconds)), 0, nullptr);
    if (t) CloseHandle(t);
  }
  return RUN_ALL_TESTS();
}
