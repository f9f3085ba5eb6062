// The command line: which text picks which word, and what each word prints and returns for
// its outcomes (done, nothing to do, failed).
#include <gtest/gtest.h>

#include "command_line.h"
#include "fake_scm.h"
#include "test_util.h"

using kova_monitor::CommandTail;
using kova_monitor::MonitorCommand;
using kova_monitor::ParseCommand;
using kova_monitor::RunCommand;
using kova_monitor_test::FakeScm;

namespace {

TEST(CommandLine, TailIsWhatFollowsTheProgramNameWithoutLeadingBlanks) {
  struct Case {
    const char* command_line;
    const char* tail;
  };
  for (const Case& c :
       {Case{"\"C:\\KOVA Test\\KOVAWsSvrMonitor.exe\" -install", "-install"},
        Case{"\"C:\\KOVA Test\\KOVAWsSvrMonitor.exe\"\t -start", "-start"},
        Case{"C:\\KOVA\\KOVAWsSvrMonitor.exe    -stop", "-stop"},
        Case{"KOVAWsSvrMonitor.exe -install ", "-install "},
        Case{"KOVAWsSvrMonitor.exe -install x", "-install x"}, Case{"KOVAWsSvrMonitor.exe", ""},
        Case{"\"KOVAWsSvrMonitor.exe\"", ""}, Case{"\"unterminated -install", ""}, Case{"", ""}}) {
    EXPECT_STREQ(c.tail, CommandTail(c.command_line)) << c.command_line;
  }
  EXPECT_STREQ("", CommandTail(nullptr));
}

TEST(CommandLine, WordsMatchWholeInAnyCaseAndAnythingElseRunsTheService) {
  struct Case {
    const char* tail;
    MonitorCommand command;
  };
  for (const Case& c : {Case{"-install", MonitorCommand::kInstall},
                        Case{"-INSTALL", MonitorCommand::kInstall},
                        Case{"-Install", MonitorCommand::kInstall},
                        Case{"-remove", MonitorCommand::kRemove},
                        Case{"-ReMoVe", MonitorCommand::kRemove},
                        Case{"-start", MonitorCommand::kStart},
                        Case{"-START", MonitorCommand::kStart},
                        Case{"-stop", MonitorCommand::kStop},
                        Case{"-sToP", MonitorCommand::kStop},
                        Case{"-install ", MonitorCommand::kRunService},
                        Case{"-stop\t", MonitorCommand::kRunService},
                        Case{"-install x", MonitorCommand::kRunService},
                        Case{"-start -stop", MonitorCommand::kRunService},
                        Case{"install", MonitorCommand::kRunService},
                        Case{"/install", MonitorCommand::kRunService},
                        Case{"--install", MonitorCommand::kRunService},
                        Case{"-installx", MonitorCommand::kRunService},
                        Case{"-st", MonitorCommand::kRunService},
                        Case{"-", MonitorCommand::kRunService},
                        Case{"", MonitorCommand::kRunService}}) {
    EXPECT_EQ(c.command, ParseCommand(c.tail)) << '"' << c.tail << '"';
  }
  EXPECT_EQ(MonitorCommand::kRunService, ParseCommand(nullptr));
}

// One scripted situation per outcome; the text and exit code are what the program writes.
struct Outcome {
  const char* what;
  MonitorCommand command;
  std::function<void(FakeScm&)> script;
  const char* text;
  bool fails;
};

void PrintTo(const Outcome& o, std::ostream* os) { *os << o.what; }

class CommandOutcome : public ::testing::TestWithParam<Outcome> {};

TEST_P(CommandOutcome, PrintsOkOrTheFailureWithItsErrorCode) {
  const Outcome& o = GetParam();
  FakeScm scm;
  o.script(scm);
  const kova_monitor::CommandResult result = RunCommand(o.command, scm, scm);
  EXPECT_STREQ(o.text, result.text);
  if (o.fails) {
    EXPECT_NE(0, result.exit_code);
  } else {
    EXPECT_EQ(0, result.exit_code);
  }
  EXPECT_EQ(0u, scm.OpenHandles());
}

void Installed(FakeScm& scm, DWORD state) {
  scm.services["KOVAWsSvrMonitor"].statuses = {{state}};
  scm.services["KOVAWsSvrMonitor"].control_status = {SERVICE_STOPPED};
}

INSTANTIATE_TEST_SUITE_P(
    Table, CommandOutcome,
    ::testing::Values(
        Outcome{"install", MonitorCommand::kInstall, [](FakeScm&) {}, "install ok.", false},
        Outcome{"install_again", MonitorCommand::kInstall,
                [](FakeScm& s) { Installed(s, SERVICE_RUNNING); }, "install ok.", false},
        Outcome{"install_no_manager", MonitorCommand::kInstall,
                [](FakeScm& s) {
                  s.manager_open_errors = {5, 5};
                },
                "install failed, error 0x00000005.", true},
        Outcome{"install_create_fails", MonitorCommand::kInstall,
                [](FakeScm& s) { s.create_error = ERROR_INVALID_SERVICE_ACCOUNT; },
                "install failed, error 0x00000421.", true},
        Outcome{"remove", MonitorCommand::kRemove,
                [](FakeScm& s) { Installed(s, SERVICE_RUNNING); }, "remove ok.", false},
        Outcome{"remove_absent", MonitorCommand::kRemove, [](FakeScm&) {}, "remove ok.", false},
        Outcome{"remove_no_manager", MonitorCommand::kRemove,
                [](FakeScm& s) { s.manager_open_errors = {5}; }, "remove failed, error 0x00000005.",
                true},
        Outcome{"remove_delete_fails", MonitorCommand::kRemove,
                [](FakeScm& s) {
                  Installed(s, SERVICE_STOPPED);
                  s.services["KOVAWsSvrMonitor"].delete_error = ERROR_ACCESS_DENIED;
                },
                "remove failed, error 0x00000005.", true},
        Outcome{"start", MonitorCommand::kStart, [](FakeScm& s) { Installed(s, SERVICE_STOPPED); },
                "start ok.", false},
        Outcome{"start_running", MonitorCommand::kStart,
                [](FakeScm& s) { Installed(s, SERVICE_RUNNING); }, "start ok.", false},
        Outcome{"start_not_installed", MonitorCommand::kStart, [](FakeScm&) {},
                "start failed, error 0x00000424.", true},
        Outcome{"start_refused", MonitorCommand::kStart,
                [](FakeScm& s) {
                  Installed(s, SERVICE_STOPPED);
                  s.services["KOVAWsSvrMonitor"].start_error = ERROR_FILE_NOT_FOUND;
                },
                "start failed, error 0x00000002.", true},
        Outcome{"stop", MonitorCommand::kStop, [](FakeScm& s) { Installed(s, SERVICE_RUNNING); },
                "stop ok.", false},
        Outcome{"stop_stopped", MonitorCommand::kStop,
                [](FakeScm& s) { Installed(s, SERVICE_STOPPED); }, "stop ok.", false},
        Outcome{"stop_no_manager", MonitorCommand::kStop,
                [](FakeScm& s) {
                  Installed(s, SERVICE_RUNNING);
                  s.manager_open_errors = {5};
                },
                "stop failed, error 0x00000005.", true},
        Outcome{"stop_refused", MonitorCommand::kStop,
                [](FakeScm& s) {
                  Installed(s, SERVICE_RUNNING);
                  s.services["KOVAWsSvrMonitor"].control_error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
                },
                "stop failed, error 0x00000425.", true}),
    [](const ::testing::TestParamInfo<Outcome>& info) { return std::string(info.param.what); });

TEST(CommandLine, InstallRegistersTheRunningProgramsOwnPath) {
  FakeScm scm;
  RunCommand(MonitorCommand::kInstall, scm, scm);
  ASSERT_EQ(1u, scm.created.size());
  char own[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(std::string(own, n), scm.created[0].image_path);
}

TEST(CommandLine, StartAndStopActOnTheMonitorsOwnService) {
  for (MonitorCommand command : {MonitorCommand::kStart, MonitorCommand::kStop}) {
    FakeScm scm;
    Installed(scm, command == MonitorCommand::kStart ? SERVICE_STOPPED : SERVICE_RUNNING);
    scm.services["KOVAWsCoreSvr"];
    RunCommand(command, scm, scm);
    EXPECT_TRUE(scm.CallsStartingWith("Open KOVAWsCoreSvr").empty());
    EXPECT_EQ(
        1u, scm.CallsStartingWith(command == MonitorCommand::kStart ? "Start KOVAWsSvrMonitor"
                                                                    : "Control KOVAWsSvrMonitor 1")
                .size());
  }
}

}  // namespace
