// Log facility: first cut (plain line append, no rotation yet).
#include "clog.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

namespace {
CRITICAL_SECTION g_cs;
INIT_ONCE g_once = INIT_ONCE_STATIC_INIT;
char g_path[MAX_PATH] = "C:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\wsPlugin.log";
bool g_ready = false;

BOOL CALLBACK InitOnce(PINIT_ONCE, PVOID, PVOID*) {
  InitializeCriticalSection(&g_cs);
  char sys[MAX_PATH];
  if (GetSystemDirectoryA(sys, sizeof sys) > 0) g_path[0] = sys[0];
  CreateDirectoryA("C:\\KOVAROOT", nullptr);
  CreateDirectoryA("C:\\KOVAROOT\\KOVAlog", nullptr);
  CreateDirectoryA("C:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr", nullptr);
  g_ready = true;
  return TRUE;
}
}  // namespace

void clog_init() { InitOnceExecuteOnce(&g_once, InitOnce, nullptr, nullptr); }

void clog_write(int level, const char* source_file, int line, const char* function,
                const char* format, ...) {
  if (level > 3 || !g_ready) return;
  EnterCriticalSection(&g_cs);
  if (FILE* f = std::fopen(g_path, "a+t")) {
    std::fprintf(f, "[%d] [%s(%d)] [%s]: ", level, source_file, line, function);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(f, format, ap);
    va_end(ap);
    std::fputc('\n', f);
    std::fclose(f);
  }
  LeaveCriticalSection(&g_cs);
}
