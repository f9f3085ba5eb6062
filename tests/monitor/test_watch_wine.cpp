// The watch loop for real: the monitor twin runs as a service of Wine's manager and keeps the
// substitute "KOVAWsCoreSvr" running.
#include <gtest/gtest.h>

#include "wine_fixture.h"
#include "wine_services.h"

namespace kova_monitor_test {
namespace {

using WatchLoop = WineServicesTest;

// Attempts come 5 s apart plus the attempt's own time; a restart also needs a process start,
// which is slow on a loaded machine.
constexpr DWORD kRestartLimitMs = 5000 + 3000;

// Waits for the stopped service to run again; the milliseconds it took, or ~0 on timeout.
DWORD TimeToRunningAgain(const char* name) {
  const DWORD begin = GetTickCount();
  if (!WaitForServiceState(name, SERVICE_RUNNING, kRestartLimitMs)) return 0xFFFFFFFF;
  return GetTickCount() - begin;
}

TEST_F(WatchLoop, WatchedServiceStoppedByHandRunsAgainWithinThePeriod) {
  ASSERT_TRUE(RegisterCore());
  ASSERT_NE(0u, InstallAndStartMonitor());
  // The first attempt comes right after the monitor reports running.
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_RUNNING, 3000));
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(0u, SendStop(kCore));
    ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_STOPPED, 3000));
    const DWORD took = TimeToRunningAgain(kCore);
    EXPECT_LE(took, kRestartLimitMs) << "round " << round;
  }
  EXPECT_EQ(3, CountEvents(Events(), "running"));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor));
}

TEST_F(WatchLoop, WatchedServiceThatEndsByItselfRunsAgain) {
  ASSERT_TRUE(RegisterCore("--exit-after-ms 1000"));
  ASSERT_NE(0u, InstallAndStartMonitor());
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_RUNNING, 3000));
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_STOPPED, 5000)) << "it did not end";
  EXPECT_LE(TimeToRunningAgain(kCore), kRestartLimitMs);
  EXPECT_GE(CountEvents(Events(), "exit"), 1);
  EXPECT_EQ(2, CountEvents(Events(), "process"));
}

TEST_F(WatchLoop, DisabledWatchedServiceIsSetToAutomaticStartAndStarted) {
  ASSERT_TRUE(RegisterCore());
  ASSERT_NE(0u, InstallAndStartMonitor());
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_RUNNING, 3000));
  ASSERT_TRUE(SetStartType(kCore, SERVICE_DISABLED));
  ASSERT_EQ(0u, SendStop(kCore));
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_STOPPED, 3000));
  EXPECT_LE(TimeToRunningAgain(kCore), kRestartLimitMs);
  EXPECT_EQ(static_cast<DWORD>(SERVICE_AUTO_START), StartTypeOf(kCore));
}

TEST_F(WatchLoop, OnDemandWatchedServiceStaysOnDemandButIsStarted) {
  ASSERT_TRUE(RegisterCore());
  ASSERT_NE(0u, InstallAndStartMonitor());
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_RUNNING, 3000));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_DEMAND_START), StartTypeOf(kCore));
}

TEST_F(WatchLoop, MonitorKeepsRunningWhileTheWatchedServiceIsMissingAndStartsItOnceItExists) {
  const DWORD pid = InstallAndStartMonitor();
  ASSERT_NE(0u, pid);
  Sleep(5000 + 1500);  // at least two attempts have failed
  DWORD pid_now = 0;
  EXPECT_EQ(static_cast<DWORD>(SERVICE_RUNNING), ServiceState(kMonitor, &pid_now));
  EXPECT_EQ(pid, pid_now);
  ASSERT_TRUE(RegisterCore());
  EXPECT_LE(TimeToRunningAgain(kCore), kRestartLimitMs);
}

}  // namespace
}  // namespace kova_monitor_test
