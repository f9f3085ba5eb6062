// Fixture of the tests against Wine's manager: both services absent before and after each
// test, an events folder for the substitute host service, and the monitor's command words.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "test_util.h"
#include "wine_services.h"

namespace kova_monitor_test {

constexpr char kMonitor[] = "KOVAWsSvrMonitor";
constexpr char kCore[] = "KOVAWsCoreSvr";

class WineServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(RemoveServiceForTest(kMonitor));
    ASSERT_TRUE(RemoveServiceForTest(kCore));
  }
  void TearDown() override {
    EXPECT_TRUE(RemoveServiceForTest(kMonitor));
    EXPECT_TRUE(RemoveServiceForTest(kCore));
  }

  // Runs the monitor program with `arguments` after its quoted path. Under load Wine has been
  // seen to fail a process start once with 0x54f; a word that failed that way is run again.
  static ProgramRun Monitor(const std::string& arguments, const std::string& exe = MonitorExe()) {
    ProgramRun run;
    for (int attempt = 0; attempt < 3; ++attempt) {
      run = RunProgram(exe, arguments);
      if (run.out.find("error 0x0000054f.") == std::string::npos) break;
    }
    return run;
  }
  // Installs and starts the monitor, and returns its process id (0 on failure).
  DWORD InstallAndStartMonitor() {
    const ProgramRun install = Monitor(" -install");
    EXPECT_EQ("install ok.", install.out);
    const ProgramRun start = Monitor(" -start");
    EXPECT_EQ("start ok.", start.out);
    EXPECT_TRUE(WaitForServiceState(kMonitor, SERVICE_RUNNING, 5000));
    DWORD pid = 0;
    ServiceState(kMonitor, &pid);
    return pid;
  }
  // Registers the substitute host service with its events in this test's folder.
  bool RegisterCore(const std::string& arguments = "", DWORD start_type = SERVICE_DEMAND_START) {
    return RegisterCoreDouble("--events \"" + Events() + "\" " + arguments, kCore, start_type);
  }
  std::string Events() const { return dir_ / "core.events"; }
  // Registers and starts the substitute program under the monitor's own name, made to stop
  // slowly (5 stop-pending reports 300 ms apart).
  void StartSlowStoppingServiceAsMonitor() {
    ASSERT_TRUE(RegisterCoreDouble("--name KOVAWsSvrMonitor --events \"" + Events() +
                                       "\" --stop-steps 5 --step-ms 300 --stop-hint 200",
                                   kMonitor));
    ASSERT_EQ(0u, StartByName(kMonitor));
    ASSERT_TRUE(WaitForServiceState(kMonitor, SERVICE_RUNNING, 5000));
  }

  kova_test::TempDir dir_{"kova-monitor"};
};

}  // namespace kova_monitor_test
