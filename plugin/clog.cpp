// Log facility: formats each line into one shared buffer and appends it to the log file with one
// open-append-close, rotating the file into ten numbered backups when it reaches 10 MiB.
#include "clog.h"

#include <windows.h>
// windows.h first: dbghelp.h needs its types.
#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "clog_internal.h"
#include "srw_lock.h"

using namespace clog_detail;

namespace {

// Process-wide state, filled once by clog_init and read-only afterwards.
struct ClogState {
  char path[kPathChars];    // the log file
  char dir[MAX_PATH];       // drive and directory of the log file, ending in a backslash
  char base[MAX_PATH];      // file name without extension ("wsPlugin")
  char ext[MAX_PATH];       // extension with its dot (".log")
  char host_exe[MAX_PATH];  // file name of the process's executable, or empty
  char* buffer;             // the line buffer, or null when it could not be allocated
};

ClogState g_state;
std::atomic<bool> g_initialised{false};
std::atomic<int> g_init_runs{0};
INIT_ONCE g_init_once = INIT_ONCE_STATIC_INIT;
// Serialises clog_write from the size check to the closing of the file: the line buffer and a
// rotation are shared by every thread of the process.
SRWLOCK g_write_lock = SRWLOCK_INIT;

void DefaultDebugOutput(const char* text) { OutputDebugStringA(text); }
std::atomic<DebugOutput> g_debug_output{&DefaultDebugOutput};

const char* const kLabels[] = {"", "error", "warn", "trace"};

void DebugText(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
void DebugText(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  g_debug_output.load()(text);
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindPtr = std::unique_ptr<void, FindCloser>;

// The part of a path after its last backslash (the whole text when there is none).
const char* AfterLastBackslash(const char* path) {
  const char* cut = std::strrchr(path, '\\');
  return cut ? cut + 1 : path;
}

void BackupName(int number, char (&name)[MAX_PATH]) {
  std::snprintf(name, sizeof name, "%s-%03d%s", g_state.base, number, g_state.ext);
}

void InDirectory(const char* name, char (&full)[MAX_PATH]) {
  std::snprintf(full, sizeof full, "%s%s", g_state.dir, name);
}

// Chooses the name the full log file is renamed to. 0: name chosen; 1: the oldest backup could
// not be deleted; 2: the shift of the backups stopped at a failed rename.
int clog_choose_backup_name(char (&name)[MAX_PATH]) {
  char pattern[MAX_PATH];
  std::snprintf(pattern, sizeof pattern, "%s%s-*%s", g_state.dir, g_state.base, g_state.ext);
  WIN32_FIND_DATAA found;
  FindPtr find(FindFirstFileA(pattern, &found));
  if (find.get() == INVALID_HANDLE_VALUE) {
    find.release();
    DebugText("clog-------_findfirst error,GetLastError=0x%08lx", GetLastError());
    BackupName(1, name);
    return 0;
  }
  bool taken[kBackupCount + 1] = {};
  do {
    for (int n = 1; n <= kBackupCount; ++n) {
      BackupName(n, name);
      if (std::strcmp(found.cFileName, name) == 0) taken[n] = true;
    }
  } while (FindNextFileA(find.get(), &found));
  for (int n = 1; n <= kBackupCount; ++n) {
    if (!taken[n]) {
      BackupName(n, name);
      return 0;
    }
  }

  // All ten exist: drop the oldest and shift the others down by one.
  char from[MAX_PATH];
  char to[MAX_PATH];
  BackupName(1, name);
  InDirectory(name, to);
  if (!DeleteFileA(to)) {
    DebugText("clog-------DeleteFileA(%s) error.GetLastError=0x%08lx", to, GetLastError());
    return 1;
  }
  DebugText("clog-------DeleteFileA(%s) ok.", to);
  for (int n = 2; n <= kBackupCount; ++n) {
    BackupName(n, name);
    InDirectory(name, from);
    BackupName(n - 1, name);
    InDirectory(name, to);
    if (!MoveFileA(from, to)) {
      DebugText("clog-------rename [%s->%s] error,ret=%d,GetLastError=0x%08lx", from, to, -1,
                GetLastError());
      return 2;
    }
    DebugText("clog-------rename [%s->%s] ok.", from, to);
  }
  BackupName(kBackupCount, name);
  return 0;
}

// Renames the full log file to a backup; the next line starts a new file. 0 on success.
int clog_rotate() {
  char name[MAX_PATH];
  const int chosen = clog_choose_backup_name(name);
  if (chosen != 0) return chosen;
  char target[MAX_PATH];
  InDirectory(name, target);
  if (!MoveFileA(g_state.path, target)) {
    DebugText("clog-------rename [%s->%s] error,ret=%d,GetLastError=0x%08lx", g_state.path, target,
              -1, GetLastError());
    return 2;
  }
  return 0;
}

// The check before every line: a missing file gets its directory chain (and needs no rotation),
// a file of 10 MiB or more is rotated. The existence test and the size query are one attribute
// query. False when the line must be dropped.
bool clog_rotate_if_needed() {
  WIN32_FILE_ATTRIBUTE_DATA data;
  BOOL found = GetFileAttributesExA(g_state.path, GetFileExInfoStandard, &data);
  DWORD error = found ? 0 : GetLastError();
  if (!found && error == ERROR_PATH_NOT_FOUND) {  // the directory chain is missing: make it
    MakeSureDirectoryPathExists(g_state.path);
    found = GetFileAttributesExA(g_state.path, GetFileExInfoStandard, &data);
    error = found ? 0 : GetLastError();
  }
  if (!found) {
    if (error == ERROR_FILE_NOT_FOUND) return true;  // nothing to rotate
    DebugText("clog-------GetFileAttributesExA(%s) error,ErrID=0x%08lx", g_state.path, error);
    return false;
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  if (size < kRotateBytes) return true;
  return clog_rotate() == 0;
}

// The file-name part of a path (after the last backslash, slash or drive colon).
void FileNamePart(const char* path, char (&out)[MAX_PATH]) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') name = p + 1;
  }
  std::snprintf(out, sizeof out, "%s", name);
}

BOOL CALLBACK InitOnce(PINIT_ONCE, PVOID, PVOID*) {
  g_init_runs.fetch_add(1);
  g_state.buffer = static_cast<char*>(std::malloc(kLineBufferBytes));  // kept for good

  char system_dir[MAX_PATH];
  const UINT length = GetSystemDirectoryA(system_dir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) system_dir[0] = '\0';
  // Without a system directory there is no drive for the log: the path stays empty and every
  // line is dropped quietly.
  if (MakeLogPath(system_dir, g_state.path)) {
    if (GetFileAttributesA(g_state.path) == INVALID_FILE_ATTRIBUTES) {
      MakeSureDirectoryPathExists(g_state.path);
    }
    const char* name = AfterLastBackslash(g_state.path);
    std::snprintf(g_state.dir, sizeof g_state.dir, "%.*s", static_cast<int>(name - g_state.path),
                  g_state.path);
    const char* dot = std::strrchr(name, '.');
    if (!dot) dot = name + std::strlen(name);
    std::snprintf(g_state.base, sizeof g_state.base, "%.*s", static_cast<int>(dot - name), name);
    std::snprintf(g_state.ext, sizeof g_state.ext, "%s", dot);
  }

  char exe[MAX_PATH];
  const DWORD exe_length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
  if (exe_length > 0 && exe_length < MAX_PATH) FileNamePart(exe, g_state.host_exe);

  g_initialised.store(true, std::memory_order_release);
  return TRUE;
}

}  // namespace

namespace clog_detail {

bool MakeLogPath(const char* system_dir, char (&out)[kPathChars]) {
  out[0] = '\0';
  if (!system_dir || system_dir[0] == '\0') return false;
  std::snprintf(out, sizeof out, "%s", kStoredPath);
  out[0] = system_dir[0];
  return true;
}

std::size_t FormatLine(char* buf, std::size_t cap, int level, const char* host_exe,
                       const char* source_file, int line, const char* function, const char* format,
                       va_list args) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::snprintf(buf, cap, "[%04d-%02d-%02d %02d:%02d:%02d.%03d]", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  std::size_t pos = 25;
  buf[pos++] = ' ';
  // Room for the text between pos and the end, keeping two bytes for the line feed and the NUL.
  const auto room = [&] { return cap - pos - 2; };
  int written = std::snprintf(
      buf + pos, cap - pos, "[%5s] [%s](%d.%d) [%s(%d)] [%s]: ", kLabels[level], host_exe,
      static_cast<int>(GetCurrentProcessId()), static_cast<int>(GetCurrentThreadId()),
      AfterLastBackslash(source_file), line, function);
  if (written > 0) pos += std::min(static_cast<std::size_t>(written), room());
  if (format) {
    va_list copy;
    va_copy(copy, args);
    written = std::vsnprintf(buf + pos, room() + 1, format, copy);
    va_end(copy);
    // A message that does not fit is left out whole.
    if (written > 0 && static_cast<std::size_t>(written) <= room()) pos += written;
  }
  buf[pos++] = '\n';
  buf[pos] = '\0';
  return pos;
}

DebugOutput SetDebugOutput(DebugOutput output) {
  return g_debug_output.exchange(output ? output : &DefaultDebugOutput);
}

int InitRuns() { return g_init_runs.load(); }

const char* HostExeName() { return g_state.host_exe; }

}  // namespace clog_detail

void clog_init() { InitOnceExecuteOnce(&g_init_once, InitOnce, nullptr, nullptr); }

void clog_write(int level, const char* source_file, int line, const char* function,
                const char* format, ...) {
  if (level < 0 || level > 3 || !g_initialised.load(std::memory_order_acquire)) return;
  if (g_state.path[0] == '\0') return;
  if (!source_file) source_file = "";
  if (!function) function = "";

  CSrwExclusive lock(g_write_lock);
  if (!clog_rotate_if_needed()) return;  // the line is dropped

  char stack_buffer[kStackBufferBytes];
  char* buf = g_state.buffer ? g_state.buffer : stack_buffer;
  const std::size_t cap = g_state.buffer ? kLineBufferBytes : kStackBufferBytes;
  va_list args;
  va_start(args, format);
  const std::size_t length =
      FormatLine(buf, cap, level, g_state.host_exe, source_file, line, function, format, args);
  va_end(args);

  // Text mode: every line feed reaches the disk as carriage return and line feed.
  FilePtr file(std::fopen(g_state.path, "a+t"));
  if (!file) {
    DebugText("[ERR] can not open file(%s), please make sure file permission.", g_state.path);
    return;
  }
  std::fwrite(buf, 1, length, file.get());
}
