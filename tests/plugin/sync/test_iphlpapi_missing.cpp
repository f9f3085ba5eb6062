// The client lookup on a system where IPHLPAPI.DLL cannot be loaded (made missing for this
// program only).
#include <gtest/gtest.h>

#include <string>

#include "clog.h"
#include "log_capture.h"
#include "parse_clnt_win32.h"

namespace {

TEST(PortOwnerLookupFailure, MissingLibraryGivesZeroAndLogsTheSystemError) {
  LogCapture log;
  EXPECT_EQ(0u, kova_get_clnt_pid(28443));
  const std::vector<std::string> lines = log.MessagesOf("kova_get_clnt_pid");
  ASSERT_EQ(1u, lines.size()) << log.Dump();
  const std::string prefix = "LoadLibraryA(IPHLPAPI.DLL) error.dwErrId=0x";
  ASSERT_EQ(0u, lines[0].find(prefix)) << lines[0];
  const std::string code = lines[0].substr(prefix.size());
  EXPECT_EQ(8u, code.size());
  EXPECT_EQ(std::string::npos, code.find_first_not_of("0123456789abcdef"));
  EXPECT_NE("00000000", code);
  EXPECT_TRUE(log.Has(CLOG_ERROR, "kova_get_clnt_pid", lines[0]));

  DWORD pid = 5;
  std::string path = "stale";
  kova_get_clnt_pid_and_path(28443, &pid, &path);
  EXPECT_EQ(0u, pid);
  EXPECT_EQ("", path);
}

}  // namespace
