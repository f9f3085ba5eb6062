// The client lookup: the owner of a local TCP port from the IP helper library's table (served by
// the IPHLPAPI.DLL double), and the owner's executable path with a drive letter.
#include <gtest/gtest.h>
#include <windows.h>
// (after windows.h)
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "kova_websocket.h"  // g_csClntLookup, InitClntLookupLock
#include "clog.h"
#include "iphlpapi_fixture.h"
#include "log_capture.h"
#include "parse_clnt_win32.h"
#include "sync_test_util.h"
#include "test_util.h"

namespace {

const DWORD kNoSuchPid = 0x7FFFFFF0;

#define ASSERT_DOUBLE_IN_PLACE(d) ASSERT_EQ("", (d).error())

// --- kova_get_clnt_pid, for each variant that has a table entry -----------------------------

class PortOwnerLookup : public testing::TestWithParam<const char*> {};

TEST_P(PortOwnerLookup, FirstRowWithThePortWinsWhateverItsState) {
  IphlpapiDouble iphlpapi(GetParam());
  ASSERT_DOUBLE_IN_PLACE(iphlpapi);
  iphlpapi.SetRows({{kTcpTimeWait, 443, 7},
                    {kTcpEstablished, 28443, 111},  // a connection listed before the listener
                    {kTcpListen, 28443, 222},
                    {kTcpListen, 5000, 333},
                    {kTcpListen, 0, 444},
                    {kTcpEstablished, 65535, 555}});
  LogCapture log;
  EXPECT_EQ(111u, kova_get_clnt_pid(28443));
  EXPECT_EQ(7u, kova_get_clnt_pid(443));
  EXPECT_EQ(333u, kova_get_clnt_pid(5000));
  EXPECT_EQ(444u, kova_get_clnt_pid(0));
  EXPECT_EQ(555u, kova_get_clnt_pid(65535));  // the last row: the row size is right
  EXPECT_EQ(0u, kova_get_clnt_pid(28444));
  EXPECT_EQ(0u, kova_get_clnt_pid(0xBB01));  // 443 with its bytes swapped: read in network order
  // No match is not an error of this routine.
  EXPECT_TRUE(log.MessagesOf("kova_get_clnt_pid").empty()) << log.Dump();
}

TEST_P(PortOwnerLookup, EmptyTableGivesZeroWithoutALogLine) {
  IphlpapiDouble iphlpapi(GetParam());
  ASSERT_DOUBLE_IN_PLACE(iphlpapi);
  iphlpapi.SetRows({});
  LogCapture log;
  EXPECT_EQ(0u, kova_get_clnt_pid(28443));
  EXPECT_EQ(0u, kova_get_clnt_pid(0));
  EXPECT_TRUE(log.MessagesOf("kova_get_clnt_pid").empty()) << log.Dump();
}

TEST_P(PortOwnerLookup, CallsTheEntryAsTheSystemExpectsAndFreesTheTable) {
  IphlpapiDouble iphlpapi(GetParam());
  ASSERT_DOUBLE_IN_PLACE(iphlpapi);
  // The check itself: a block of the same size is seen live, then gone once freed.
  void* probe = HeapAlloc(GetProcessHeap(), 0, KOVA_IPHLPAPI_DOUBLE_BLOCK_PADDING + 100);
  ASSERT_TRUE(IsLiveProcessHeapBlock(probe));
  HeapFree(GetProcessHeap(), 0, probe);
  ASSERT_FALSE(IsLiveProcessHeapBlock(probe));

  iphlpapi.SetRows({{kTcpListen, 28443, 111}});
  for (unsigned short port : {28443, 1}) {  // with and without a match
    EXPECT_EQ(port == 28443 ? 111u : 0u, kova_get_clnt_pid(port));
    const KovaIphlpapiRecord r = iphlpapi.Record();
    ASSERT_NE(nullptr, r.lastBlock);
    EXPECT_FALSE(IsLiveProcessHeapBlock(r.lastBlock)) << "table block not freed, port " << port;
    EXPECT_EQ(GetProcessHeap(), r.heap);
    EXPECT_EQ(TRUE, r.order);
    const bool oldEntry = std::string(GetParam()) != "new";
    if (oldEntry) {
      EXPECT_EQ(0u, r.flags);
      EXPECT_EQ(2u, r.family);  // IPv4
    }
  }
  const KovaIphlpapiRecord r = iphlpapi.Record();
  if (std::string(GetParam()) == "new") {
    EXPECT_EQ(0, r.oldEntryCalls);
    EXPECT_EQ(2, r.table2EntryCalls);
  } else {
    // Where the older entry exists, table 2 is never read.
    EXPECT_EQ(2, r.oldEntryCalls);
    EXPECT_EQ(0, r.table2EntryCalls);
  }
}

INSTANTIATE_TEST_SUITE_P(Variant, PortOwnerLookup, testing::Values("old", "new", "both"),
                         [](const testing::TestParamInfo<const char*>& p) {
                           return std::string(p.param);
                         });

// --- kova_get_clnt_pid failures ----------------------------------------------------------------

struct FailureCase {
  const char* name;
  const char* variant;
  DWORD result;     // what the table entry returns (0: it is not made to fail)
  DWORD lastError;  // the system error code it leaves
  const char* line;
  LONG oldEntryCalls;
  LONG table2EntryCalls;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

// The logged code is always the system error code, never the entry's result.
const FailureCase kFailureCases[] = {
    // Where the older entry exists, its failure is final: table 2 is not tried.
    {"OlderEntryFailsBesideTable2", "both", ERROR_NOT_SUPPORTED, 0x1234,
     "AllocateAndGetTcpExTableFromStack(WinXP) error.dwErrId=0x00001234", 1, 0},
    {"OlderEntryFailsAlone", "old", 1, ERROR_ACCESS_DENIED,
     "AllocateAndGetTcpExTableFromStack(WinXP) error.dwErrId=0x00000005", 1, 0},
    {"Table2EntryFails", "new", ERROR_INVALID_PARAMETER, 0xabcd,
     "InternalGetTcpTable2 error.dwErrId=0x0000abcd", 0, 1},
    {"NeitherEntryExists", "none", 0, 0, "InternalGetTcpTable2 == NULL.dwErrId=0x0000007f", 0, 0},
};

class PortOwnerLookupFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(PortOwnerLookupFailure, GivesZeroAndLogsTheSystemError) {
  const FailureCase& c = GetParam();
  IphlpapiDouble iphlpapi(c.variant);
  ASSERT_DOUBLE_IN_PLACE(iphlpapi);
  iphlpapi.SetRows({{kTcpListen, 28443, 111}});
  if (c.result != 0) iphlpapi.SetFailure(c.result, c.lastError);
  LogCapture log;
  EXPECT_EQ(0u, kova_get_clnt_pid(28443));
  EXPECT_EQ(c.oldEntryCalls, iphlpapi.Record().oldEntryCalls);
  EXPECT_EQ(c.table2EntryCalls, iphlpapi.Record().table2EntryCalls);
  EXPECT_EQ(std::vector<std::string>{c.line}, log.MessagesOf("kova_get_clnt_pid")) << log.Dump();
  EXPECT_TRUE(log.Has(CLOG_ERROR, "kova_get_clnt_pid", c.line));
}

INSTANTIATE_TEST_SUITE_P(Case, PortOwnerLookupFailure, testing::ValuesIn(kFailureCases),
                         [](const testing::TestParamInfo<FailureCase>& p) {
                           return std::string(p.param.name);
                         });

// --- kova_get_clnt_pid_and_path -----------------------------------------------------------------

// The double in place with port 28443 held by this program, 4000 by a process that cannot be
// opened.
class PortOwnerPath : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_DOUBLE_IN_PLACE(iphlpapi_);
    iphlpapi_.SetRows({{kTcpListen, 28443, GetCurrentProcessId()}, {kTcpListen, 4000, kNoSuchPid}});
  }
  // Both outputs, starting from values the lookup must overwrite.
  std::pair<DWORD, std::string> Lookup(unsigned short port) {
    DWORD pid = 12345;
    std::string path = "stale";
    kova_get_clnt_pid_and_path(port, &pid, &path);
    return {pid, path};
  }
  IphlpapiDouble iphlpapi_{"both"};
};

TEST_F(PortOwnerPath, GivesTheOwnerAndItsDriveLetterPath) {
  LogCapture log;
  const auto [pid, path] = Lookup(28443);
  EXPECT_EQ(GetCurrentProcessId(), pid);
  EXPECT_EQ(AsciiLower(OwnImagePath()), AsciiLower(path));
  const std::vector<std::string> expected = {
      "kova_get_clnt_pid_and_path begin...", "EnterCriticalSection begin...",
      "EnterCriticalSection end.",           "kova_get_clnt_pid begin...",
      "kova_get_clnt_path begin...",         "kova_get_clnt_path end.",
      "LeaveCriticalSection begin...",       "LeaveCriticalSection end.",
      "kova_get_clnt_pid_and_path end."};
  EXPECT_EQ(expected, log.MessagesOf("kova_get_clnt_pid_and_path")) << log.Dump();
  for (const auto& l : log.Lines()) EXPECT_EQ(CLOG_TRACE, LevelOf(l)) << l.message;
}

TEST_F(PortOwnerPath, NoOwnerGivesZeroAndEmptyPath) {
  LogCapture log;
  const auto [pid, path] = Lookup(1234);
  EXPECT_EQ(0u, pid);
  EXPECT_EQ("", path);
  const std::vector<std::string> expected = {
      "kova_get_clnt_pid_and_path begin...", "EnterCriticalSection begin...",
      "EnterCriticalSection end.",           "kova_get_clnt_pid begin...",
      "pid == 0",                            "LeaveCriticalSection begin...",
      "LeaveCriticalSection end.",           "kova_get_clnt_pid_and_path end."};
  EXPECT_EQ(expected, log.MessagesOf("kova_get_clnt_pid_and_path")) << log.Dump();
  EXPECT_TRUE(log.Has(CLOG_ERROR, "kova_get_clnt_pid_and_path", "pid == 0"));
}

TEST_F(PortOwnerPath, OwnerThatCannotBeOpenedGivesItsIdWithoutPath) {
  LogCapture log;
  const auto [pid, path] = Lookup(4000);
  EXPECT_EQ(kNoSuchPid, pid);
  EXPECT_EQ("", path);
  const std::vector<std::string> errors = log.MessagesOf("kova_get_clnt_path");
  ASSERT_EQ(1u, errors.size()) << log.Dump();
  EXPECT_EQ(0u, errors[0].find("OpenProcess(2147483632) error.dwErrId=0x"));
}

TEST_F(PortOwnerPath, OutputsAreOptionalAndTheLockIsLeftEveryTime) {
  LogCapture log;
  kova_get_clnt_pid_and_path(28443, nullptr, nullptr);
  kova_get_clnt_pid_and_path(4000, nullptr, nullptr);
  kova_get_clnt_pid_and_path(3, nullptr, nullptr);
  DWORD pid = 0;
  kova_get_clnt_pid_and_path(28443, &pid, nullptr);
  EXPECT_EQ(GetCurrentProcessId(), pid);
  std::string path;
  kova_get_clnt_pid_and_path(28443, nullptr, &path);
  EXPECT_EQ(AsciiLower(OwnImagePath()), AsciiLower(path));
  // Each call left the lock: another thread can take it now.
  std::atomic<bool> entered{false};
  std::thread other([&] {
    if (TryEnterCriticalSection(&g_csClntLookup)) {
      entered = true;
      LeaveCriticalSection(&g_csClntLookup);
    }
  });
  other.join();
  EXPECT_TRUE(entered);
  const std::vector<std::string> lines = log.MessagesOf("kova_get_clnt_pid_and_path");
  EXPECT_EQ(5, std::count(lines.begin(), lines.end(), "kova_get_clnt_pid_and_path end."));
}

// Two threads look up ports held by two different programs at the same time: each must always
// get its own program's path, never the other's half-written one.
TEST_F(PortOwnerPath, ConcurrentLookupsEachKeepTheirOwnPath) {
  char sysdir[MAX_PATH] = {};
  GetSystemDirectoryA(sysdir, MAX_PATH);
  std::string childImage = std::string(sysdir) + "\\notepad.exe";
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string cmd = "\"" + childImage + "\"";
  ASSERT_TRUE(CreateProcessA(childImage.c_str(), &cmd[0], nullptr, nullptr, FALSE,
                             CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
      << GetLastError();
  iphlpapi_.SetRows({{kTcpListen, 1001, GetCurrentProcessId()}, {kTcpListen, 1002, pi.dwProcessId}});

  clog_init();
  std::atomic<int> wrong{0};
  auto worker = [&](unsigned short port, const std::string& expected) {
    for (int i = 0; i < 150; ++i) {
      std::string path;
      kova_get_clnt_pid_and_path(port, nullptr, &path);
      if (AsciiLower(path) != AsciiLower(expected)) ++wrong;
    }
  };
  std::thread a(worker, 1001, OwnImagePath());
  std::thread b(worker, 1002, childImage);
  a.join();
  b.join();
  TerminateProcess(pi.hProcess, 0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(0, wrong.load());
}

// --- dospath_to_ntpath ----------------------------------------------------------------------------

TEST(DosPathToNtPath, ConvertsTheImagePathWineReports) {
  char device[MAX_PATH] = {};
  ASSERT_GT(GetProcessImageFileNameA(GetCurrentProcess(), device, MAX_PATH), 0u);
  ASSERT_EQ(0, std::strncmp(device, "\\Device\\", 8)) << device;
  const char* path = dospath_to_ntpath(device);
  ASSERT_NE(nullptr, path) << device;
  EXPECT_EQ(g_clntPathBuffer, path);
  EXPECT_EQ(AsciiLower(OwnImagePath()), AsciiLower(path));
  EXPECT_EQ(':', path[1]);
}

// A drive table the test presents instead of the machine's.
struct FakeDrive {
  const char* root;
  const char* device;  // null: the device name cannot be read
};
std::vector<FakeDrive> g_fakeDrives;
bool g_failDriveList = false;

DWORD WINAPI FakeGetLogicalDriveStrings(DWORD size, LPSTR buffer) {
  if (g_failDriveList) {
    SetLastError(ERROR_ACCESS_DENIED);
    return 0;
  }
  std::string list;
  for (const FakeDrive& d : g_fakeDrives) list.append(d.root).push_back('\0');
  if (list.size() + 1 > size) return static_cast<DWORD>(list.size() + 1);
  std::memcpy(buffer, list.data(), list.size());
  buffer[list.size()] = '\0';
  return static_cast<DWORD>(list.size());
}

DWORD WINAPI FakeQueryDosDevice(LPCSTR drive, LPSTR target, DWORD size) {
  for (const FakeDrive& d : g_fakeDrives) {
    std::string root = d.root;
    if (root.size() > 1 && root.back() == '\\') root.pop_back();
    if (root != drive) continue;
    if (!d.device) break;
    const size_t n = std::strlen(d.device);
    if (n + 2 > size) return 0;
    std::memcpy(target, d.device, n);
    target[n] = target[n + 1] = '\0';
    return static_cast<DWORD>(n + 2);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return 0;
}

class FakeDrives : public testing::Test {
 protected:
  void SetUp() override { SetDriveQueriesForTest(FakeGetLogicalDriveStrings, FakeQueryDosDevice); }
  void TearDown() override {
    SetDriveQueriesForTest(nullptr, nullptr);
    g_fakeDrives.clear();
    g_failDriveList = false;
  }
};

struct ConversionCase {
  const char* name;
  std::vector<FakeDrive> drives;
  const char* devicePath;
  const char* expected;  // null: no drive matches
};

TEST_F(FakeDrives, ConvertsWithTheFirstMatchingDrive) {
  const char* v1 = "\\Device\\HarddiskVolume1";
  const char* v3 = "\\Device\\HarddiskVolume3";
  const char* v10 = "\\Device\\HarddiskVolume10";
  const ConversionCase cases[] = {
      {"drive D among C and D", {{"C:\\", v1}, {"D:\\", v3}}, "\\Device\\HarddiskVolume3\\Tools\\app.exe",
       "D:\\Tools\\app.exe"},
      {"A and B never examined", {{"A:\\", v3}, {"b:\\", v3}, {"C:\\", v1}, {"E:\\", v3}},
       "\\Device\\HarddiskVolume3\\x.exe", "E:\\x.exe"},
      {"only A and B match", {{"A:\\", v3}, {"B:\\", v3}}, "\\Device\\HarddiskVolume3\\x.exe",
       nullptr},
      {"name that is a prefix of another", {{"C:\\", v1}, {"D:\\", v10}},
       "\\Device\\HarddiskVolume10\\x.exe", "D:\\x.exe"},
      {"longer name listed first", {{"D:\\", v10}, {"C:\\", v1}}, "\\Device\\HarddiskVolume1\\x.exe",
       "C:\\x.exe"},
      {"two drives on one device: the first listed", {{"F:\\", v3}, {"D:\\", v3}},
       "\\Device\\HarddiskVolume3\\x.exe", "F:\\x.exe"},
      {"device name unreadable", {{"C:\\", nullptr}, {"D:\\", v3}},
       "\\Device\\HarddiskVolume3\\x.exe", "D:\\x.exe"},
      {"unmapped device", {{"C:\\", v1}, {"D:\\", v3}}, "\\Device\\Mup\\server\\share\\x.exe",
       nullptr},
      {"case counts", {{"C:\\", v1}}, "\\device\\harddiskvolume1\\x.exe", nullptr},
      {"the device itself", {{"C:\\", v1}}, "\\Device\\HarddiskVolume1", "C:"},
      {"no drives", {}, "\\Device\\HarddiskVolume1\\x.exe", nullptr},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.name);
    g_fakeDrives = c.drives;
    std::strcpy(g_clntPathBuffer, "left over from an earlier lookup");
    const char* got = dospath_to_ntpath(c.devicePath);
    if (c.expected) {
      ASSERT_NE(nullptr, got);
      EXPECT_EQ(g_clntPathBuffer, got);
      EXPECT_STREQ(c.expected, got);
    } else {
      EXPECT_EQ(nullptr, got);
      EXPECT_STREQ("", g_clntPathBuffer);
    }
  }
}

TEST_F(FakeDrives, UnreadableDriveListGivesNullAndALogLine) {
  g_failDriveList = true;
  LogCapture log;
  EXPECT_EQ(nullptr, dospath_to_ntpath("\\Device\\HarddiskVolume1\\x.exe"));
  EXPECT_TRUE(log.Has(CLOG_ERROR, "dospath_to_ntpath",
                      "GetLogicalDriveStringsA error.dwErrId=0x00000005"))
      << log.Dump();
}

TEST_F(FakeDrives, NullDevicePathGivesNull) {
  g_fakeDrives = {{"C:\\", "\\Device\\HarddiskVolume1"}};
  EXPECT_EQ(nullptr, dospath_to_ntpath(nullptr));
}

}  // namespace
