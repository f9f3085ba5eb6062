// The service operations on their real seam (Win32 manager, system clock) against the
// substitute service: the start wait follows real check points, gives up on frozen ones, does
// not wait after a refused start, and the stop waits for a slow stop.
#include <gtest/gtest.h>

#include "service_ops.h"
#include "win32_scm_api.h"
#include "wine_fixture.h"
#include "wine_services.h"

namespace kova_monitor_test {
namespace {

using kova_monitor::start_service_and_wait;
using kova_monitor::stop_service;
using kova_monitor::SystemScm;
using kova_monitor::SystemTime;

DWORD Timed(DWORD& elapsed_ms, DWORD (*operation)()) {
  const DWORD begin = GetTickCount();
  const DWORD result = operation();
  elapsed_ms = GetTickCount() - begin;
  return result;
}

DWORD StartCore() { return start_service_and_wait(SystemScm(), SystemTime(), kCore); }
DWORD StopMonitor() { return stop_service(SystemScm(), SystemTime()); }

class Operations : public WineServicesTest {
 protected:
  // One start wait of the substitute service registered with `arguments`: the state it leaves
  // and how long it took.
  void ExpectStartWait(const std::string& arguments, DWORD state_after, DWORD min_ms,
                       DWORD max_ms) {
    ASSERT_TRUE(RegisterCore(arguments));
    DWORD elapsed = 0;
    EXPECT_EQ(0u, Timed(elapsed, StartCore));
    EXPECT_EQ(state_after, ServiceState(kCore));
    EXPECT_GE(elapsed, min_ms);
    EXPECT_LT(elapsed, max_ms);
  }
};

TEST_F(Operations, StartWaitFollowsGrowingCheckPointsUntilRunning) {
  // Six steps 300 ms apart with a 1,000 ms hint: each 1 s poll sees progress, the poll at 2 s
  // finds it running.
  ExpectStartWait("--start-steps 6 --step-ms 300 --start-hint 1000", SERVICE_RUNNING, 1800, 6000);
}

TEST_F(Operations, StartWaitGivesUpWhenTheCheckPointStopsGrowing) {
  // Start-pending for 20 s with a frozen check point and a 1,500 ms hint: the wait ends at the
  // poll at 2 s, the service still start-pending.
  ExpectStartWait("--start-steps 200 --step-ms 100 --frozen --start-hint 1500",
                  SERVICE_START_PENDING, 1900, 4500);
}

TEST_F(Operations, StartOfAStartPendingServiceIsRefusedWithoutWaiting) {
  ASSERT_TRUE(RegisterCore("--start-steps 200 --step-ms 100 --frozen --start-hint 1500"));
  ASSERT_EQ(0u, StartByName(kCore));
  ASSERT_TRUE(WaitForServiceState(kCore, SERVICE_START_PENDING, 3000));
  DWORD elapsed = 0;
  EXPECT_EQ(0u, Timed(elapsed, StartCore)) << "already running is no failure";
  EXPECT_LT(elapsed, 900u) << "it waited";
  EXPECT_EQ(1, CountEvents(Events(), "process"));
}

TEST_F(Operations, ServiceThatRefusesToStartIsNotWaitedFor) {
  ASSERT_TRUE(RegisterCore("--refuse 42"));
  DWORD elapsed = 0;
  Timed(elapsed, StartCore);
  EXPECT_LT(elapsed, 900u) << "it waited";
  EXPECT_TRUE(WaitForServiceState(kCore, SERVICE_STOPPED, 3000));
  EXPECT_EQ(1, CountEvents(Events(), "refused"));
}

TEST_F(Operations, StopWaitsForASlowStop) {
  StartSlowStoppingServiceAsMonitor();
  if (HasFatalFailure()) return;
  DWORD elapsed = 0;
  EXPECT_EQ(0u, Timed(elapsed, StopMonitor));
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), ServiceState(kMonitor));
  EXPECT_GE(elapsed, 1400u);
  EXPECT_EQ(5 + 1, CountEvents(Events(), "stop-pending"));
}

}  // namespace
}  // namespace kova_monitor_test
