// Client process identification: the owner of a local TCP port from the system's TCP table, and
// its executable path with a drive letter (see parse_clnt_win32.h).
#include "parse_clnt_win32.h"

#include <psapi.h>

#include <cstring>

#include "kova_websocket.h"  // g_csClntLookup, InitClntLookupLock
#include "clog.h"

char g_clntPathBuffer[1024];

namespace {

// Entries of IPHLPAPI.DLL, resolved by name. Both return 0 on success and hand out a table
// allocated from the heap they are given.
using PfnAllocateAndGetTcpExTableFromStack = DWORD(WINAPI*)(PVOID* ppTcpTable, BOOL bOrder,
                                                            HANDLE hHeap, DWORD dwFlags,
                                                            DWORD dwFamily);
using PfnInternalGetTcpTable2 = DWORD(WINAPI*)(PVOID* ppTcpTable, HANDLE hHeap, BOOL bOrder);

const DWORD kAfInet = 2;
// Row sizes of the extended table and of table 2; both start with a 32-bit row count.
const size_t kTcpExRowSize = 24;
const size_t kTcpTable2RowSize = 28;
const size_t kLocalPortOffset = 8;  // first two bytes: the port in network byte order
const size_t kOwningPidOffset = 20;

template <typename Fn>
Fn ProcAs(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Owns a module loaded for the length of one call.
class ScopedLibrary {
 public:
  explicit ScopedLibrary(HMODULE h) : h_(h) {}
  ~ScopedLibrary() {
    if (h_) FreeLibrary(h_);
  }
  ScopedLibrary(const ScopedLibrary&) = delete;
  ScopedLibrary& operator=(const ScopedLibrary&) = delete;
  HMODULE get() const { return h_; }

 private:
  HMODULE h_;
};

// Owns a block of the process heap handed out by the IP helper library.
class ScopedProcessHeapBlock {
 public:
  ScopedProcessHeapBlock() = default;
  ~ScopedProcessHeapBlock() {
    if (p_) HeapFree(GetProcessHeap(), 0, p_);
  }
  ScopedProcessHeapBlock(const ScopedProcessHeapBlock&) = delete;
  ScopedProcessHeapBlock& operator=(const ScopedProcessHeapBlock&) = delete;
  PVOID* receive() { return &p_; }
  const unsigned char* bytes() const { return static_cast<const unsigned char*>(p_); }

 private:
  PVOID p_ = nullptr;
};

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE h) : h_(h) {}
  ~ScopedHandle() { reset(); }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE get() const { return h_; }
  void reset() {
    if (h_) CloseHandle(h_);
    h_ = nullptr;
  }

 private:
  HANDLE h_;
};

// Walks the rows from the first and returns the owning process id of the first one whose local
// port equals `port`; its state, addresses and remote port are not looked at.
DWORD FindPortOwner(const unsigned char* table, size_t rowSize, unsigned short port) {
  DWORD rows;
  std::memcpy(&rows, table, sizeof rows);
  const unsigned char* row = table + sizeof rows;
  for (DWORD i = 0; i < rows; ++i, row += rowSize) {
    // Network to host byte order: the first byte is the high one.
    const unsigned short local =
        static_cast<unsigned short>((row[kLocalPortOffset] << 8) | row[kLocalPortOffset + 1]);
    if (local == port) {
      DWORD pid;
      std::memcpy(&pid, row + kOwningPidOffset, sizeof pid);
      return pid;
    }
  }
  return 0;
}

PfnGetLogicalDriveStringsA g_pfGetLogicalDriveStrings = GetLogicalDriveStringsA;
PfnQueryDosDeviceA g_pfQueryDosDevice = QueryDosDeviceA;

}  // namespace

void SetDriveQueriesForTest(PfnGetLogicalDriveStringsA getDrives, PfnQueryDosDeviceA queryDevice) {
  g_pfGetLogicalDriveStrings = getDrives ? getDrives : GetLogicalDriveStringsA;
  g_pfQueryDosDevice = queryDevice ? queryDevice : QueryDosDeviceA;
}

DWORD kova_get_clnt_pid(unsigned short port) {
  ScopedLibrary iphlpapi(LoadLibraryA("IPHLPAPI.DLL"));
  if (!iphlpapi.get()) {
    const DWORD err = GetLastError();
    CLOG_E("LoadLibraryA(IPHLPAPI.DLL) error.dwErrId=0x%08x", static_cast<unsigned>(err));
    return 0;
  }

  ScopedProcessHeapBlock table;
  // The older entry is used wherever it exists; table 2 only where it does not.
  if (auto pfOld = ProcAs<PfnAllocateAndGetTcpExTableFromStack>(
          iphlpapi.get(), "AllocateAndGetTcpExTableFromStack")) {
    if (pfOld(table.receive(), /*bOrder=*/TRUE, GetProcessHeap(), /*dwFlags=*/0, kAfInet) != 0) {
      const DWORD err = GetLastError();
      CLOG_E("AllocateAndGetTcpExTableFromStack(WinXP) error.dwErrId=0x%08x",
             static_cast<unsigned>(err));
      return 0;
    }
    return table.bytes() ? FindPortOwner(table.bytes(), kTcpExRowSize, port) : 0;
  }

  auto pfTable2 = ProcAs<PfnInternalGetTcpTable2>(iphlpapi.get(), "InternalGetTcpTable2");
  if (!pfTable2) {
    const DWORD err = GetLastError();
    CLOG_E("InternalGetTcpTable2 == NULL.dwErrId=0x%08x", static_cast<unsigned>(err));
    return 0;
  }
  if (pfTable2(table.receive(), GetProcessHeap(), /*bOrder=*/TRUE) != 0) {
    const DWORD err = GetLastError();
    CLOG_E("InternalGetTcpTable2 error.dwErrId=0x%08x", static_cast<unsigned>(err));
    return 0;
  }
  return table.bytes() ? FindPortOwner(table.bytes(), kTcpTable2RowSize, port) : 0;
}

void kova_get_clnt_pid_and_path(unsigned short port, DWORD* pdwPid, std::string* pstrPath) {
  CLOG_T("kova_get_clnt_pid_and_path begin...");
  if (pdwPid) *pdwPid = 0;
  if (pstrPath) pstrPath->clear();
  InitClntLookupLock();

  // The path is copied while the lock is held (the next lookup rewrites the shared buffer), into
  // storage that cannot fail, so that nothing can leave the lock held.
  char path[sizeof g_clntPathBuffer] = {};
  CLOG_T("EnterCriticalSection begin...");
  EnterCriticalSection(&g_csClntLookup);
  CLOG_T("EnterCriticalSection end.");
  CLOG_T("kova_get_clnt_pid begin...");
  const DWORD pid = kova_get_clnt_pid(port);
  if (pid == 0) {
    CLOG_E("pid == 0");
  } else {
    CLOG_T("kova_get_clnt_path begin...");
    if (const char* found = kova_get_clnt_path(pid)) {
      std::memcpy(path, found, strnlen(found, sizeof path - 1));
    }
    CLOG_T("kova_get_clnt_path end.");
  }
  CLOG_T("LeaveCriticalSection begin...");
  LeaveCriticalSection(&g_csClntLookup);
  CLOG_T("LeaveCriticalSection end.");

  if (pid != 0) {
    if (pdwPid) *pdwPid = pid;
    if (pstrPath) *pstrPath = path;
  }
  CLOG_T("kova_get_clnt_pid_and_path end.");
}

const char* kova_get_clnt_path(DWORD pid) {
  ScopedHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, /*bInheritHandle=*/FALSE, pid));
  if (!process.get()) {
    const DWORD err = GetLastError();
    CLOG_E("OpenProcess(%d) error.dwErrId=0x%08x", static_cast<int>(pid),
           static_cast<unsigned>(err));
    return nullptr;
  }
  char devicePath[MAX_PATH] = {};
  const DWORD n = GetProcessImageFileNameA(process.get(), devicePath, MAX_PATH);
  const DWORD err = GetLastError();
  process.reset();
  if (n == 0) {
    CLOG_E("GetProcessImageFileNameA error.dwErrId=0x%08x", static_cast<unsigned>(err));
    return nullptr;
  }
  return dospath_to_ntpath(devicePath);
}

const char* dospath_to_ntpath(const char* pszDevicePath) {
  std::memset(g_clntPathBuffer, 0, sizeof g_clntPathBuffer);
  if (!pszDevicePath) return nullptr;

  char drives[1024] = {};
  if (g_pfGetLogicalDriveStrings(sizeof drives - 1, drives) == 0) {
    const DWORD err = GetLastError();
    CLOG_E("GetLogicalDriveStringsA error.dwErrId=0x%08x", static_cast<unsigned>(err));
    return nullptr;
  }

  const size_t pathLen = std::strlen(pszDevicePath);
  for (const char* root = drives; *root; root += std::strlen(root) + 1) {
    const char letter = root[0];
    if (letter == 'A' || letter == 'a' || letter == 'B' || letter == 'b') continue;

    char drive[MAX_PATH] = {};
    size_t driveLen = strnlen(root, sizeof drive - 1);
    std::memcpy(drive, root, driveLen);
    if (driveLen > 1 && drive[driveLen - 1] == '\\') drive[--driveLen] = '\0';

    char device[MAX_PATH] = {};
    // A drive whose device name cannot be read is skipped: an empty name would begin every path.
    if (g_pfQueryDosDevice(drive, device, MAX_PATH) == 0 || device[0] == '\0') continue;

    const size_t deviceLen = std::strlen(device);
    if (deviceLen > pathLen || std::memcmp(pszDevicePath, device, deviceLen) != 0) continue;
    // \Device\HarddiskVolume1 must not claim a path on \Device\HarddiskVolume10.
    const char next = pszDevicePath[deviceLen];
    if (next != '\0' && next != '\\') continue;

    const char* rest = pszDevicePath + deviceLen;
    if (driveLen + std::strlen(rest) >= sizeof g_clntPathBuffer) return nullptr;
    std::memcpy(g_clntPathBuffer, drive, driveLen);
    std::memcpy(g_clntPathBuffer + driveLen, rest, std::strlen(rest) + 1);
    return g_clntPathBuffer;
  }
  return nullptr;
}
