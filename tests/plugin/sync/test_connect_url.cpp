// Nolvex.conf and the connect URL: blank trimming, list splitting, and the choice of the port
// whose owner (served by the IPHLPAPI.DLL double) is a configured program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "clog.h"
#include "connect_url.h"
#include "iphlpapi_fixture.h"
#include "log_capture.h"
#include "sync_test_util.h"
#include "test_util.h"

namespace {

// --- TrimBlanks --------------------------------------------------------------------------------

TEST(TrimBlanks, RemovesSpaceTabSpaceRunsAtEachEnd) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"   ", ""},
      {"\t\t", ""},
      {" \t \tx", "\tx"},  // a fourth run at the start stays
      {" \t \t", ""},       // ... unless the end trimming takes it
      {"  a b  ", "a b"},
      {"\t\tx\t\t", "x"},
      {"  \t\t  x  \t\t  ", "x"},
      {"\t \tx", "\tx"},  // tab, space, tab: the final tab stays
      {"x\t \t", "x\t"},
      {" \t x \t ", "x"},
      {"a\t \tb", "a\t \tb"},  // inner blanks are kept
      {"\nx\n", "\nx\n"},      // only spaces and tabs are blanks
  };
  for (const auto& c : cases) {
    std::string text = c.in;
    TrimBlanks(text);
    EXPECT_EQ(c.out, text) << "input \"" << c.in << "\"";
  }
}

// --- SplitString -----------------------------------------------------------------------------

TEST(SplitString, KeepsTheNonEmptyPiecesInOrder) {
  const struct {
    const char* in;
    std::vector<std::string> out;
  } cases[] = {
      {"", {}},
      {"||", {}},
      {"||||", {}},
      {"28443", {"28443"}},
      {"1||2", {"1", "2"}},
      {"||1||2||", {"1", "2"}},
      {"1||||2", {"1", "2"}},
      {"1|||2", {"1", "|2"}},
      {"1|2", {"1|2"}},
      {"|", {"|"}},
      {"a.exe|| b.exe ", {"a.exe", " b.exe "}},  // pieces are not trimmed
  };
  for (const auto& c : cases) {
    std::vector<std::string> pieces = {"stale"};
    SplitString(c.in, pieces, "||");
    EXPECT_EQ(c.out, pieces) << "input \"" << c.in << "\"";
  }
}

TEST(SplitString, OtherSeparatorsAndAnEmptyOne) {
  std::vector<std::string> pieces;
  SplitString("a,b,,c", pieces, ",");
  EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}), pieces);
  // An empty separator splits nothing (and must not loop for ever).
  SplitString("a||b", pieces, "");
  EXPECT_EQ((std::vector<std::string>{"a||b"}), pieces);
  SplitString("", pieces, "");
  EXPECT_TRUE(pieces.empty());
}

TEST(SplitString, LogsStartAndEnd) {
  LogCapture log;
  std::vector<std::string> pieces;
  SplitString("1||2", pieces, "||");
  EXPECT_EQ((std::vector<std::string>{"starting", "ending ok"}), log.MessagesOf("SplitString"))
      << log.Dump();
}

// --- GetHostExeDir and ReadConfInfo -------------------------------------------------------------

TEST(GetHostExeDir, IsTheFolderOfTheProgram) {
  EXPECT_EQ(kova_test::ExeDir(), GetHostExeDir());
}

// Writes Nolvex.conf beside the program (the host executable here) and removes it afterwards.
class ConfFile {
 public:
  explicit ConfFile(const std::string& body) : path_(kova_test::ExeDir() + "Nolvex.conf") {
    kova_test::WriteFileBytes(path_, body);
  }
  ~ConfFile() { DeleteFileA(path_.c_str()); }

 private:
  std::string path_;
};

TEST(ReadConfInfo, ReadsTrimsAndSplitsTheFourKeys) {
  ConfFile conf(
      "[Other]\r\norigin=wrong\r\n"
      "[Default]\r\n"
      "origin=\t https://sync.example \r\n"
      "pathname = /api/sync\r\n"
      "Port=28443||| 28444||\r\n"
      "ProcName=a.exe||B.EXE\r\n");
  ConfInfo info;
  info.origin = "stale";
  info.vectPort = {"stale"};
  ReadConfInfo(info);
  EXPECT_EQ("https://sync.example", info.origin);
  EXPECT_EQ("/api/sync", info.pathname);
  EXPECT_EQ((std::vector<std::string>{"28443", "| 28444"}), info.vectPort);
  EXPECT_EQ((std::vector<std::string>{"a.exe", "B.EXE"}), info.vectProcName);
}

TEST(ReadConfInfo, MissingFileGivesEmptyValues) {
  DeleteFileA((kova_test::ExeDir() + "Nolvex.conf").c_str());
  ConfInfo info;
  info.origin = "stale";
  info.pathname = "stale";
  info.vectPort = {"stale"};
  info.vectProcName = {"stale"};
  ReadConfInfo(info);
  EXPECT_EQ("", info.origin);
  EXPECT_EQ("", info.pathname);
  EXPECT_TRUE(info.vectPort.empty());
  EXPECT_TRUE(info.vectProcName.empty());
}

// --- GetConnectURL -------------------------------------------------------------------------------


struct UrlCase {
  const char* name;
  std::string conf;  // "$EXE" stands for this program's file name
  std::string url;
  std::vector<std::string> portLines;  // the "port=%d" lines, in order
  std::string errorLine;               // an error line of GetConnectURL expected, if any
  int lookups;                         // calls of kova_get_clnt_pid_and_path expected
};

const std::string kLongOrigin(1500, 'o');
const std::string kLongPath = "/" + std::string(1500, 'p');

// Ports held: 28443 and 0 by this program, 4000 by a process that cannot be opened.
const UrlCase kUrlCases[] = {
    {"match in any letter case",
     "[Default]\r\norigin=https://h.example\r\npathname=/sync\r\nPort=28443\r\nProcName=$EXE_UPPER\r\n",
     "https://h.example:28443/sync", {"port=28443"}, "", 1},
    {"pathname missing", "[Default]\r\norigin=https://h.example\r\nPort=28443\r\nProcName=$EXE\r\n",
     "https://h.example:28443", {"port=28443"}, "", 1},
    {"second port chosen", "[Default]\r\norigin=o\r\npathname=/p\r\nPort=1111||28443\r\nProcName=$EXE\r\n",
     "o:28443/p", {"port=1111", "port=28443"}, "", 2},
    {"port owner without path skipped", "[Default]\r\norigin=o\r\nPort=4000||28443\r\nProcName=$EXE\r\n",
     "o:28443", {"port=4000", "port=28443"}, "", 2},
    {"name order does not matter", "[Default]\r\norigin=o\r\nPort=28443\r\nProcName=x.exe||$EXE||y.exe\r\n",
     "o:28443", {"port=28443"}, "", 1},
    {"no listed program holds a port", "[Default]\r\norigin=o\r\nPort=28443||1111\r\nProcName=other.exe\r\n",
     "", {"port=28443", "port=1111"}, "", 2},
    {"name with a leading blank", "[Default]\r\norigin=o\r\nPort=28443\r\nProcName=x.exe|| $EXE\r\n",
     "", {"port=28443"}, "", 1},
    {"name with a directory", "[Default]\r\norigin=o\r\nPort=28443\r\nProcName=bin\\$EXE\r\n",
     "", {"port=28443"}, "", 1},
    {"port text read as atoi does", "[Default]\r\norigin=o\r\nPort=+28443xyz\r\nProcName=$EXE\r\n",
     "o:28443", {"port=28443"}, "", 1},
    {"port 0 matched but skipped", "[Default]\r\norigin=o\r\nPort=abc||28443\r\nProcName=$EXE\r\n",
     "o:28443", {"port=0", "port=28443"}, "", 2},
    {"port above 65535 skipped without a lookup",
     "[Default]\r\norigin=o\r\nPort=93979\r\nProcName=$EXE\r\n", "", {"port=93979"}, "", 0},
    {"negative port skipped without a lookup",
     "[Default]\r\norigin=o\r\nPort=-37093||-1\r\nProcName=$EXE\r\n", "",
     {"port=-37093", "port=-1"}, "", 0},
    {"huge port skipped", "[Default]\r\norigin=o\r\nPort=99999999999||28443\r\nProcName=$EXE\r\n",
     "o:28443", {"port=2147483647", "port=28443"}, "", 1},
    {"port list of bars only", "[Default]\r\norigin=o\r\nPort=||\r\nProcName=$EXE\r\n", "", {},
     "stConfInfo.vectPort.size() == 0", 0},
    {"no program names", "[Default]\r\norigin=o\r\nPort=28443\r\n", "", {},
     "stConfInfo.vectProcName.size() == 0", 0},
    {"origin of spaces", "[Default]\r\norigin=   \r\nPort=28443\r\nProcName=$EXE\r\n", "", {},
     "stConfInfo.origin.length() == 0", 0},
    {"no file section", "[Other]\r\norigin=o\r\nPort=28443\r\nProcName=$EXE\r\n", "", {},
     "stConfInfo.vectPort.size() == 0", 0},
    {"values longer than their buffers",
     "[Default]\r\norigin=" + kLongOrigin + "\r\npathname=" + kLongPath +
         "\r\nPort=28443\r\nProcName=$EXE\r\n",
     kLongOrigin.substr(0, 1023) + ":28443" + kLongPath.substr(0, 1023), {"port=28443"}, "", 1},
};

void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.name; }

class ConnectUrl : public testing::TestWithParam<UrlCase> {};

std::string Expand(std::string text) {
  for (const auto& [key, value] :
       {std::pair<std::string, std::string>{"$EXE_UPPER", AsciiUpper(OwnExeName())},
        std::pair<std::string, std::string>{"$EXE", OwnExeName()}}) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key))
      text.replace(at, key.size(), value);
  }
  return text;
}

TEST_P(ConnectUrl, BuildsTheUrlFromTheFirstPortHeldByAListedProgram) {
  const UrlCase& c = GetParam();
  IphlpapiDouble iphlpapi("both");
  ASSERT_EQ("", iphlpapi.error());
  iphlpapi.SetRows({{kTcpListen, 4000, kNoSuchPid},
                    {kTcpListen, 28443, GetCurrentProcessId()},
                    {kTcpListen, 0, GetCurrentProcessId()}});
  ConfFile conf(Expand(c.conf));
  LogCapture log;

  EXPECT_EQ(c.url, GetConnectURL());

  std::vector<std::string> portLines, errors;
  for (const auto& l : log.Lines()) {
    if (l.function != "GetConnectURL") continue;
    if (l.message.rfind("port=", 0) == 0) {
      EXPECT_EQ(CLOG_TRACE, LevelOf(l));
      portLines.push_back(l.message);
    }
    if (LevelOf(l) == CLOG_ERROR) errors.push_back(l.message);
  }
  EXPECT_EQ(c.portLines, portLines) << log.Dump();
  EXPECT_EQ(c.errorLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.errorLine},
            errors);
  if (!c.url.empty()) {
    EXPECT_TRUE(log.Has(CLOG_TRACE, "GetConnectURL", "URL:" + c.url));
  }
  const std::vector<std::string> lookups = log.MessagesOf("kova_get_clnt_pid_and_path");
  EXPECT_EQ(c.lookups, std::count(lookups.begin(), lookups.end(),
                                  "kova_get_clnt_pid_and_path begin..."));
}

INSTANTIATE_TEST_SUITE_P(Case, ConnectUrl, testing::ValuesIn(kUrlCases),
                         [](const testing::TestParamInfo<UrlCase>& p) {
                           std::string name;
                           for (const char* s = p.param.name; *s; ++s) {
                             if (std::isalnum(static_cast<unsigned char>(*s))) {
                               name += *s;
                             } else if (*s == ' ') {
                               name += '_';
                             }
                           }
                           return name;
                         });

}  // namespace
