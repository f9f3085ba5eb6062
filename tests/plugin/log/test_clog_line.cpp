// The log line: its exact layout for each level, the call-site macros, line endings on disk,
// the directory chain, and messages too long for the buffer.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "clog.h"
#include "clog_internal.h"
#include "log_file_reader.h"
#include "log_fixture.h"
#include "test_util.h"

using kova_test::LogLine;
using kova_test::LogPath;
using kova_test::ReadFileBytes;
using kova_test::ReadLogLines;

namespace {

using LogLineTest = kova_test::LogTest;

ULONGLONG AsTicks(const SYSTEMTIME& time) {
  FILETIME file_time;
  SystemTimeToFileTime(&time, &file_time);
  return (static_cast<ULONGLONG>(file_time.dwHighDateTime) << 32) | file_time.dwLowDateTime;
}

// Parses "2023-05-06 07:08:09.010".
SYSTEMTIME ParseTimestamp(const std::string& text) {
  SYSTEMTIME time = {};
  int year, month, day, hour, minute, second, millis;
  EXPECT_EQ(7, std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &year, &month, &day, &hour,
                           &minute, &second, &millis));
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  time.wMilliseconds = static_cast<WORD>(millis);
  return time;
}

struct LevelCase {
  int level;
  const char* shown;  // the bracketed label as written
};

TEST_F(LogLineTest, EachLevelWritesTheExactLayout) {
  const LevelCase cases[] = {
      {0, "[     ]"}, {CLOG_ERROR, "[error]"}, {CLOG_WARN, "[ warn]"}, {CLOG_TRACE, "[trace]"}};
  SYSTEMTIME before;
  GetLocalTime(&before);
  for (const LevelCase& c : cases) {
    clog_write(c.level, ".\\src\\example.cpp", 42, "example_routine", "text of the message %d",
               c.level);
  }
  SYSTEMTIME after;
  GetLocalTime(&after);

  const std::string bytes = ReadFileBytes(LogPath());
  std::vector<std::string> lines;
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", pos);
    ASSERT_NE(std::string::npos, end) << "line without CR LF";
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  ASSERT_EQ(4u, lines.size()) << bytes;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_GT(line.size(), 26u);
    // [yyyy-mm-dd hh:mm:ss.mmm] and one space: 26 characters.
    EXPECT_EQ('[', line[0]);
    EXPECT_EQ("] ", line.substr(24, 2));
    const ULONGLONG stamp = AsTicks(ParseTimestamp(line.substr(1, 23)));
    // The stamp has millisecond precision; the clock read around the calls bounds it.
    EXPECT_GE(stamp + 10000, AsTicks(before));
    EXPECT_LE(stamp, AsTicks(after));
    char expected[512];
    std::snprintf(expected, sizeof expected,
                  "%s [%s](%lu.%lu) [example.cpp(42)] [example_routine]: text of the message %d",
                  cases[i].shown, LogLineTest::ThisExeName().c_str(), GetCurrentProcessId(),
                  GetCurrentThreadId(), cases[i].level);
    EXPECT_EQ(expected, line.substr(26));
  }
}

TEST_F(LogLineTest, LevelsOutsideZeroToThreeWriteNothing) {
  for (int level : {4, 5, -1, 1000}) clog_write(level, "a.cpp", 1, "f", "must not appear");
  EXPECT_FALSE(kova_test::FileExists(LogPath()));
  EXPECT_TRUE(DebugTexts().empty());
}

TEST_F(LogLineTest, SourceFileShowsThePartAfterItsLastBackslash) {
  const struct {
    const char* given;
    const char* shown;
  } cases[] = {{"..\\a\\b\\deep.cpp", "deep.cpp"},
               {".\\example.cpp", "example.cpp"},
               {"plain.cpp", "plain.cpp"},
               {"dir/forward.cpp", "dir/forward.cpp"},
               {"ends\\", ""}};
  for (const auto& c : cases) clog_write(CLOG_TRACE, c.given, 7, "f", "m");
  const std::vector<LogLine> lines = ReadLogLines();
  ASSERT_EQ(std::size(cases), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(cases[i].shown, lines[i].file);
}

TEST_F(LogLineTest, NullArgumentsGiveEmptyFieldsInsteadOfACrash) {
  clog_write(CLOG_ERROR, nullptr, 3, nullptr, nullptr);
  const std::vector<LogLine> lines = ReadLogLines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("", lines[0].file);
  EXPECT_EQ(3, lines[0].line);
  EXPECT_EQ("", lines[0].function);
  EXPECT_EQ("", lines[0].message);
}

TEST_F(LogLineTest, LineFeedsInsideAMessageReachTheDiskAsCrLfWithoutHeader) {
  clog_write(CLOG_WARN, "x.cpp", 1, "f", "first\nsecond\n");
  clog_write(CLOG_WARN, "x.cpp", 2, "f", "third");
  const std::string bytes = ReadFileBytes(LogPath());
  const std::string first_end = "[f]: first\r\nsecond\r\n\r\n";
  const std::size_t at = bytes.find(first_end);
  ASSERT_NE(std::string::npos, at) << bytes;
  // The next line starts right after, with its own header.
  EXPECT_EQ('[', bytes[at + first_end.size()]);
  EXPECT_EQ(bytes.size() - 2, bytes.rfind("third\r\n") + 5);
  // No line feed reaches the disk without its carriage return.
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') {
      EXPECT_EQ('\r', bytes[i - 1]) << "at byte " << i;
    }
  }
}

TEST_F(LogLineTest, TheFirstLineCreatesTheMissingDirectoryChain) {
  ASSERT_FALSE(kova_test::FileExists(kova_test::LogDir()));
  clog_write(CLOG_TRACE, "x.cpp", 1, "f", "after the tree was removed");
  const std::vector<LogLine> lines = ReadLogLines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_EQ("after the tree was removed", lines[0].message);
}

// Routines of several shapes, each logging through a macro; they return the line they log on.
// clang-format off
int FreeRoutine() { CLOG_W("free %s", "routine"); return __LINE__; }
struct Sample {
  int constructed_at;
  Sample() { CLOG_T("constructor"); constructed_at = __LINE__; }
  int Member(int) const { CLOG_E("member"); return __LINE__; }
};
template <typename T>
int TemplatedRoutine(T) { CLOG_T("template"); return __LINE__; }
// clang-format on

TEST_F(LogLineTest, MacrosFillInBareFileNameLineAndQualifiedRoutine) {
  const int free_line = FreeRoutine();
  Sample sample;
  const int member_line = sample.Member(1);
  const int template_line = TemplatedRoutine(2.5);
  const std::vector<LogLine> lines = ReadLogLines();
  ASSERT_EQ(4u, lines.size());
  const struct {
    const char* label;
    int line;
    const char* function;
    const char* message;
  } expected[] = {{" warn", free_line, "{anonymous}::FreeRoutine", "free routine"},
                  {"trace", sample.constructed_at, "{anonymous}::Sample::Sample", "constructor"},
                  {"error", member_line, "{anonymous}::Sample::Member", "member"},
                  {"trace", template_line, "{anonymous}::TemplatedRoutine", "template"}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(expected[i].label, lines[i].label);
    EXPECT_EQ("test_clog_line.cpp", lines[i].file);
    EXPECT_EQ(expected[i].line, lines[i].line);
    EXPECT_EQ(expected[i].function, lines[i].function);
    EXPECT_EQ(expected[i].message, lines[i].message);
  }
}

template <std::size_t N>
std::string Cut(const char (&pretty)[N]) {
  return clog_detail::RoutineName<N>(pretty).text;
}

TEST(LogRoutineName, CutsParametersReturnTypeAndTemplateArguments) {
  EXPECT_EQ("wbs_on_connect", Cut("void* wbs_on_connect(void*)"));
  EXPECT_EQ("ProcLock::ProcLock", Cut("ProcLock::ProcLock(std::string)"));
  EXPECT_EQ("ProcLock::~ProcLock", Cut("ProcLock::~ProcLock()"));
  EXPECT_EQ("do_call_ax", Cut("int do_call_ax(const string&, int, const string&, std::string&)"));
  EXPECT_EQ("f",
            Cut("std::string f(T) [with T = int; std::string = std::__cxx11::basic_string<char>]"));
  EXPECT_EQ("ns::Make", Cut("std::vector<std::pair<int, int> > ns::Make(int (*)(int))"));
  EXPECT_EQ("kova_ws_init", Cut("kova_ws_init()"));
  EXPECT_EQ("C::Get", Cut("int C::Get(int) const"));
  EXPECT_EQ("C::Take", Cut("void C::Take() const &&"));
  EXPECT_EQ("main()::<lambda()>", Cut("main()::<lambda()>"));
}

std::size_t Format(char* buf, std::size_t cap, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::size_t length =
      clog_detail::FormatLine(buf, cap, CLOG_TRACE, "host.exe", "f.cpp", 1, "r", format, args);
  va_end(args);
  return length;
}

TEST(LogFormatLine, AMessageThatDoesNotFitIsLeftOutAndNothingOverruns) {
  constexpr std::size_t kCap = 200;
  std::vector<char> area(kCap + 64, '#');
  const std::size_t header = Format(area.data(), kCap, "%s", "") - 1;  // without the line feed
  const std::size_t room = kCap - header - 2;  // message bytes that fit with LF and NUL
  const struct {
    std::size_t length;
    bool kept;
  } cases[] = {{0, true},         {1, true},     {room - 1, true},  {room, true},
               {room + 1, false}, {kCap, false}, {10 * kCap, false}};
  for (const auto& c : cases) {
    std::fill(area.begin(), area.end(), '#');
    const std::string message(c.length, 'm');
    const std::size_t length = Format(area.data(), kCap, "%s", message.c_str());
    ASSERT_LT(length, kCap) << c.length;
    EXPECT_EQ('\0', area[length]);
    EXPECT_EQ('\n', area[length - 1]);
    EXPECT_EQ(c.kept ? header + c.length + 1 : header + 1, length) << c.length;
    EXPECT_EQ(": ", std::string(area.data() + header - 2, 2));
    for (std::size_t i = kCap; i < area.size(); ++i) ASSERT_EQ('#', area[i]) << "overrun at " << i;
  }
}

std::size_t FormatWithRoutine(char* buf, std::size_t cap, const char* routine, const char* format,
                              ...) {
  va_list args;
  va_start(args, format);
  const std::size_t length =
      clog_detail::FormatLine(buf, cap, CLOG_ERROR, "host.exe", "f.cpp", 1, routine, format, args);
  va_end(args);
  return length;
}

TEST(LogFormatLine, AHeaderLongerThanTheBufferIsCutAndStillEndsTheLine) {
  // The stack fallback holds 8 KiB; an absurdly long routine name must not overrun it.
  constexpr std::size_t kCap = clog_detail::kStackBufferBytes;
  std::vector<char> area(kCap + 64, '#');
  const std::string long_name(3 * kCap, 'r');
  const std::size_t length = FormatWithRoutine(area.data(), kCap, long_name.c_str(), "%s", "msg");
  EXPECT_EQ(kCap - 1, length);
  EXPECT_EQ('\n', area[length - 1]);
  EXPECT_EQ('\0', area[length]);
  for (std::size_t i = kCap; i < area.size(); ++i) ASSERT_EQ('#', area[i]) << "overrun at " << i;
}

TEST_F(LogLineTest, AMessageLongerThanTheLineBufferIsLeftOutOfItsLine) {
  const std::string huge(clog_detail::kLineBufferBytes, 'm');
  clog_write(CLOG_TRACE, "x.cpp", 1, "big", "%s", huge.c_str());
  clog_write(CLOG_TRACE, "x.cpp", 2, "small", "after the big one");
  const std::vector<LogLine> lines = ReadLogLines();
  ASSERT_EQ(2u, lines.size());
  EXPECT_EQ("big", lines[0].function);
  EXPECT_EQ("", lines[0].message);
  EXPECT_EQ("after the big one", lines[1].message);
  // The left-out line ends with the header's colon and blank, then CR LF.
  EXPECT_NE(std::string::npos, ReadFileBytes(LogPath()).find("[big]: \r\n"));
}

TEST(LogPathTest, TakesTheDriveLetterFromTheSystemDirectory) {
  char path[clog_detail::kPathChars];
  ASSERT_TRUE(clog_detail::MakeLogPath("D:\\Windows\\system32", path));
  EXPECT_STREQ("D:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\wsPlugin.log", path);
  ASSERT_TRUE(clog_detail::MakeLogPath("C:\\windows\\system32", path));
  EXPECT_STREQ("C:\\KOVAROOT\\KOVAlog\\KOVAWsCoreSvr\\wsPlugin.log", path);
  // No system directory: no path, so the facility drops its lines quietly.
  EXPECT_FALSE(clog_detail::MakeLogPath("", path));
  EXPECT_STREQ("", path);
  EXPECT_FALSE(clog_detail::MakeLogPath(nullptr, path));
}

}  // namespace
