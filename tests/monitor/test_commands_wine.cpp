// The monitor's command words against Wine's service control manager, with the x86-64 twin of
// the program run as a child whose standard output is captured.
#include <gtest/gtest.h>

#include "test_util.h"
#include "wine_fixture.h"
#include "wine_services.h"

namespace kova_monitor_test {
namespace {

using Commands = WineServicesTest;

// A copy of the monitor under a folder with a space, and a program where the system would land
// if it cut the unquoted path at that space.
class SpacedCopy {
 public:
  SpacedCopy() {
    CreateDirectoryA(kDir, nullptr);
    copied_ = kova_test::CopyFileTo(MonitorExe(), exe()) &&
              kova_test::CopyFileTo(CoreDoubleExe(), kDecoy);
    DeleteFileA(DecoyEvents().c_str());
  }
  ~SpacedCopy() {
    kova_test::RemoveTree(kDir);
    DeleteFileA(kDecoy);
    DeleteFileA(DecoyEvents().c_str());
  }
  bool ok() const { return copied_; }
  static std::string exe() { return std::string(kDir) + "\\KOVAWsSvrMonitor.exe"; }
  static std::string DecoyEvents() { return std::string(kDecoy) + ".events"; }

 private:
  static constexpr char kDir[] = "C:\\KOVA Test";
  static constexpr char kDecoy[] = "C:\\KOVA.exe";
  bool copied_ = false;
};

TEST_F(Commands, InstallRegistersTheMonitorsConfigurationWithAQuotedPath) {
  SpacedCopy copy;
  ASSERT_TRUE(copy.ok());
  const ProgramRun install = Monitor(" -install", copy.exe());
  ASSERT_TRUE(install.started);
  EXPECT_EQ("install ok.", install.out);
  EXPECT_EQ(0u, install.exit_code);

  ServiceConfig config;
  ASSERT_TRUE(ReadServiceConfig(kMonitor, config));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS), config.service_type);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), config.start_type);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_ERROR_NORMAL), config.error_control);
  EXPECT_EQ("\"C:\\KOVA Test\\KOVAWsSvrMonitor.exe\"", config.binary_path);
  EXPECT_EQ("", config.load_order_group);
  EXPECT_EQ(0u, config.tag_id);
  EXPECT_EQ("", config.dependencies);
  EXPECT_EQ("LocalSystem", config.start_name);
  EXPECT_EQ("KOVAWsSvrMonitor", config.display_name);
  EXPECT_EQ("KOVAWsSvrMonitor", config.description);

  // Started, the system runs the registered program itself, not C:\KOVA.exe.
  const ProgramRun start = Monitor(" -start", copy.exe());
  EXPECT_EQ("start ok.", start.out);
  DWORD pid = 0;
  EXPECT_TRUE(WaitForServiceState(kMonitor, SERVICE_RUNNING, 5000));
  ServiceState(kMonitor, &pid);
  ASSERT_NE(0u, pid);
  EXPECT_STRCASEEQ(copy.exe().c_str(), ProcessImagePath(pid).c_str());
  EXPECT_FALSE(kova_test::FileExists(copy.DecoyEvents())) << "C:\\KOVA.exe was run";
  ASSERT_TRUE(RemoveServiceForTest(kMonitor));  // ends the process before the copy goes
}

TEST_F(Commands, InstallingAgainChangesNothingEvenFromAnotherPath) {
  SpacedCopy copy;
  ASSERT_TRUE(copy.ok());
  ASSERT_EQ("install ok.", Monitor(" -install").out);
  ServiceConfig before;
  ASSERT_TRUE(ReadServiceConfig(kMonitor, before));
  ASSERT_TRUE(SetStartType(kMonitor, SERVICE_DEMAND_START));  // a change of the owner's

  const ProgramRun again = Monitor(" -install", copy.exe());
  EXPECT_EQ("install ok.", again.out);
  EXPECT_EQ(0u, again.exit_code);
  ServiceConfig after;
  ASSERT_TRUE(ReadServiceConfig(kMonitor, after));
  EXPECT_EQ(before.binary_path, after.binary_path);
  EXPECT_STRCASEEQ(MonitorExe().c_str(), after.binary_path.c_str());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), after.start_type);
}

TEST_F(Commands, StartRunsTheMonitorAsARealServiceAndAgainChangesNothing) {
  ASSERT_EQ("install ok.", Monitor(" -install").out);
  const ProgramRun start = Monitor(" -start");
  EXPECT_EQ("start ok.", start.out);
  EXPECT_EQ(0u, start.exit_code);
  DWORD pid = 0;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor, &pid));
  ASSERT_NE(0u, pid);
  EXPECT_STRCASEEQ(MonitorExe().c_str(), ProcessImagePath(pid).c_str());

  const ProgramRun again = Monitor(" -start");
  EXPECT_EQ("start ok.", again.out);
  EXPECT_EQ(0u, again.exit_code);
  DWORD pid_after = 0;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor, &pid_after));
  EXPECT_EQ(pid, pid_after);
}

TEST_F(Commands, StopEndsTheMonitorWithinThePeriodAndLeavesTheWatchedServiceRunning) {
  ASSERT_TRUE(RegisterCore());
  const DWORD pid = InstallAndStartMonitor();
  ASSERT_NE(0u, pid);
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_RUNNING, 5000)) << "the monitor started it";
  DWORD core_pid = 0;
  ServiceState(kCore, &core_pid);

  const ProgramRun stop = Monitor(" -stop");
  EXPECT_EQ("stop ok.", stop.out);
  EXPECT_EQ(0u, stop.exit_code);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState(kMonitor));
  // Reported stopped at once; the process ends at the loop's next test, within 5 s.
  EXPECT_TRUE(WaitForProcessExit(pid, 5000 + 1000));
  DWORD core_pid_after = 0;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kCore, &core_pid_after));
  EXPECT_EQ(core_pid, core_pid_after);
  EXPECT_EQ(0, CountEvents(Events(), "stop-pending"));

  const ProgramRun again = Monitor(" -stop");
  EXPECT_EQ("stop ok.", again.out);
  EXPECT_EQ(0u, again.exit_code);
}

TEST_F(Commands, RemoveStopsAndDeletesAndLaterFindsNothingToDo) {
  const DWORD pid = InstallAndStartMonitor();
  ASSERT_NE(0u, pid);
  const ProgramRun remove = Monitor(" -remove");
  EXPECT_EQ("remove ok.", remove.out);
  EXPECT_EQ(0u, remove.exit_code);
  EXPECT_FALSE(ServiceExists(kMonitor));
  EXPECT_TRUE(WaitForProcessExit(pid, 5000 + 1000));

  const ProgramRun again = Monitor(" -remove");
  EXPECT_EQ("remove ok.", again.out);
  EXPECT_EQ(0u, again.exit_code);
}

TEST_F(Commands, RemoveWaitsForASlowStopBeforeDeleting) {
  // The substitute program registered under the monitor's name, stopping in about 1.5 s.
  StartSlowStoppingServiceAsMonitor();
  if (HasFatalFailure()) return;
  const ProgramRun remove = Monitor(" -remove");
  EXPECT_EQ("remove ok.", remove.out);
  EXPECT_EQ(1, CountEvents(Events(), "stopped")) << "deleted before it had stopped";
  EXPECT_GE(remove.elapsed_ms, 1400u);
  EXPECT_FALSE(ServiceExists(kMonitor));
}

TEST_F(Commands, WordsMatchInAnyCaseAfterLeadingBlanks) {
  EXPECT_EQ("install ok.", Monitor(" -INSTALL").out);
  EXPECT_TRUE(ServiceExists(kMonitor));
  EXPECT_EQ("start ok.", Monitor("    -Start").out);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor));
  EXPECT_EQ("stop ok.", Monitor(" \t-sTOP").out);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState(kMonitor));
  EXPECT_EQ("remove ok.", Monitor(" -ReMoVe").out);
  EXPECT_FALSE(ServiceExists(kMonitor));
}

TEST_F(Commands, GenuineFailuresPrintTheErrorCodeAndExitNonZero) {
  // Nothing installed: there is nothing to start or stop.
  const ProgramRun start = Monitor(" -start");
  EXPECT_EQ("start failed, error 0x00000424.", start.out);
  EXPECT_NE(0u, start.exit_code);
  const ProgramRun stop = Monitor(" -stop");
  EXPECT_EQ("stop failed, error 0x00000424.", stop.out);
  EXPECT_NE(0u, stop.exit_code);

  // Installed from a copy that is gone by the time it is started: the start request fails.
  {
    kova_test::TempDir gone("kova-gone");
    ASSERT_TRUE(kova_test::CopyFileTo(MonitorExe(), gone / "KOVAWsSvrMonitor.exe"));
    ASSERT_EQ("install ok.", Monitor(" -install", gone / "KOVAWsSvrMonitor.exe").out);
  }
  const ProgramRun refused = Monitor(" -start");
  EXPECT_EQ(0u, refused.out.rfind("start failed, error 0x", 0)) << refused.out;
  EXPECT_EQ(std::string::npos, refused.out.find("ok")) << refused.out;
  EXPECT_NE(0u, refused.exit_code);
  EXPECT_NE(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor));
}

struct Child {
  std::string tail;
  ProgramRun run;
  HANDLE thread;
};

DWORD WINAPI RunChild(LPVOID param) {
  auto* child = static_cast<Child*>(param);
  child->run = RunProgram(MonitorExe(), child->tail);
  return 0;
}

// Outside the manager the dispatcher call fails; the program then ends quietly with 0. The
// cases run at once, as that failure has been seen to take about 10 s under Wine.
TEST_F(Commands, AnythingButAWordRunsAsAServiceFailsOutsideTheManagerAndPrintsNothing) {
  const char* const tails[] = {" -install ", " -install x", " install", ""};
  std::vector<Child> children;
  for (const char* tail : tails) children.push_back({tail, {}, nullptr});
  for (Child& child : children) {
    child.thread = CreateThread(nullptr, 0, RunChild, &child, 0, nullptr);
    ASSERT_NE(nullptr, child.thread);
  }
  for (Child& child : children) {
    WaitForSingleObject(child.thread, INFINITE);
    CloseHandle(child.thread);
    EXPECT_TRUE(child.run.started) << '"' << child.tail << '"';
    EXPECT_EQ("", child.run.out) << '"' << child.tail << '"';
    EXPECT_EQ(0u, child.run.exit_code) << '"' << child.tail << '"';
  }
  EXPECT_FALSE(ServiceExists(kMonitor));
}

}  // namespace
}  // namespace kova_monitor_test
