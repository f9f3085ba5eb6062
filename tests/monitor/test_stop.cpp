// stop_service and stop_dependent_services against a scripted manager and clock: the polls at
// the reported wait hint, the one 30 s budget of each, and a dependent that never stops.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_scm.h"
#include "service_ops.h"

using kova_monitor::stop_service;
using kova_monitor_test::FakeScm;
using kova_monitor_test::FakeService;
using kova_monitor_test::ScriptedStatus;

namespace {

class Stop : public kova_monitor_test::FakeScmTest {
 protected:
  FakeService& Monitor() { return scm.services["KOVAWsSvrMonitor"]; }
  DWORD Run() { return stop_service(scm, scm); }
  size_t Count(const std::string& call) const {
    return static_cast<size_t>(std::count(scm.calls.begin(), scm.calls.end(), call));
  }
};

TEST_F(Stop, RunningServiceIsStoppedPollingAtTheWaitHintAsReported) {
  Monitor().statuses = {{SERVICE_RUNNING}, {SERVICE_STOP_PENDING, 2, 12345}, {SERVICE_STOPPED}};
  Monitor().control_status = {SERVICE_STOP_PENDING, 1, 700};
  EXPECT_EQ(0u, Run());
  // No division and no bounds: 700 ms, then 12,345 ms.
  const std::vector<std::string> expected = {"OpenManager 0xf003f",
                                             "Open KOVAWsSvrMonitor 0x2c",
                                             "Query KOVAWsSvrMonitor",
                                             "Enum KOVAWsSvrMonitor",
                                             "Control KOVAWsSvrMonitor 1",
                                             "Sleep 700",
                                             "Query KOVAWsSvrMonitor",
                                             "Sleep 12345",
                                             "Query KOVAWsSvrMonitor",
                                             "Close KOVAWsSvrMonitor",
                                             "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

TEST_F(Stop, StoppedServiceIsLeftAlone) {
  Monitor().statuses = {{SERVICE_STOPPED}};
  EXPECT_EQ(0u, Run());
  const std::vector<std::string> expected = {"OpenManager 0xf003f", "Open KOVAWsSvrMonitor 0x2c",
                                             "Query KOVAWsSvrMonitor", "Close KOVAWsSvrMonitor",
                                             "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

TEST_F(Stop, StopAlreadyUnderWayIsWaitedForWithoutASecondRequest) {
  Monitor().statuses = {
      {SERVICE_STOP_PENDING, 1, 400}, {SERVICE_STOP_PENDING, 2, 250}, {SERVICE_STOPPED}};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>({400, 250}), scm.Sleeps());
  EXPECT_EQ(0u, Count("Control KOVAWsSvrMonitor 1"));
  EXPECT_EQ(0u, Count("Enum KOVAWsSvrMonitor"));
}

TEST_F(Stop, OneBudgetCoversTheStopUnderWayAndTheRequestedStop) {
  // 20 s of a stop under way that does not finish, then the requested stop polls every 4 s:
  // the budget counted from the start ends after 32 s, not 30 s after the request.
  Monitor().statuses = {{SERVICE_STOP_PENDING, 1, 10000},
                        {SERVICE_STOP_PENDING, 1, 10000},
                        {SERVICE_RUNNING},
                        {SERVICE_STOP_PENDING, 1, 4000}};
  Monitor().control_status = {SERVICE_STOP_PENDING, 1, 4000};
  EXPECT_EQ(0u, Run()) << "a stop that takes longer is not a failed request";
  EXPECT_EQ(std::vector<DWORD>({10000, 10000, 4000, 4000, 4000}), scm.Sleeps());
  EXPECT_EQ(1u, Count("Control KOVAWsSvrMonitor 1"));
}

TEST_F(Stop, StopUnderWayPastTheBudgetEndsWithoutARequest) {
  Monitor().statuses = {{SERVICE_STOP_PENDING, 1, 7000}};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(5, 7000), scm.Sleeps());  // 35 s > 30 s; 28 s was not
  EXPECT_EQ(0u, Count("Control KOVAWsSvrMonitor 1"));
}

TEST_F(Stop, BudgetRunsAcrossTheTickCountWrap) {
  // The same stop under way as above, begun 20 s before the tick count wraps to 0.
  scm.now = 0xFFFFFFFFu - 20000u;
  Monitor().statuses = {{SERVICE_STOP_PENDING, 1, 7000}};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(5, 7000), scm.Sleeps());
  EXPECT_EQ(0u, Count("Control KOVAWsSvrMonitor 1"));
}

TEST_F(Stop, ZeroWaitHintPollsWithoutPauseUntilTheStateChanges) {
  Monitor().statuses = {{SERVICE_RUNNING},
                        {SERVICE_STOP_PENDING, 1, 0},
                        {SERVICE_STOP_PENDING, 2, 0},
                        {SERVICE_STOPPED}};
  Monitor().control_status = {SERVICE_STOP_PENDING, 1, 0};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>({0, 0, 0}), scm.Sleeps());
}

TEST_F(Stop, ZeroWaitHintPollsWithoutPauseUntilTheBudgetEnds) {
  // Each query takes 100 ms: the 301st query is the first past 30 s.
  scm.query_cost_ms = 100;
  Monitor().statuses = {{SERVICE_RUNNING}, {SERVICE_STOP_PENDING, 1, 0}};
  Monitor().control_status = {SERVICE_STOP_PENDING, 1, 0};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(300, 0), scm.Sleeps());
  EXPECT_EQ(301u, Monitor().queries);
}

TEST_F(Stop, RefusedStopRequestIsReportedAndNotWaitedFor) {
  Monitor().statuses = {{SERVICE_RUNNING}};
  Monitor().control_error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_CANNOT_ACCEPT_CTRL), Run());
  EXPECT_EQ(2u, Monitor().queries) << "one look before the request, one after its failure";
  EXPECT_TRUE(scm.Sleeps().empty());
}

// The service's process can end while the stop is delivered, so the request itself fails (a
// broken pipe): a service that is then stopped or stopping took the stop; one still running did not.
TEST_F(Stop, FailedRequestCountsByTheStateThatFollows) {
  const struct {
    DWORD after;
    DWORD expected;
  } cases[] = {
      {SERVICE_STOPPED, ERROR_SUCCESS},
      {SERVICE_STOP_PENDING, ERROR_SUCCESS},
      {SERVICE_RUNNING, ERROR_BROKEN_PIPE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.after);
    Monitor().queries = 0;
    Monitor().statuses = {{SERVICE_RUNNING}, {c.after}};
    Monitor().control_error = ERROR_BROKEN_PIPE;
    EXPECT_EQ(c.expected, Run());
    EXPECT_EQ(2u, Monitor().queries);
    EXPECT_TRUE(scm.Sleeps().empty()) << "a failed request is not waited for";
  }
}

TEST_F(Stop, ServiceThatStoppedMeanwhileIsNoFailure) {
  Monitor().statuses = {{SERVICE_RUNNING}};
  Monitor().control_error = ERROR_SERVICE_NOT_ACTIVE;
  EXPECT_EQ(0u, Run());
}

TEST_F(Stop, FailedQueryEndsTheWait) {
  Monitor().statuses = {{SERVICE_RUNNING}, {SERVICE_RUNNING, 0, 0, ERROR_INVALID_HANDLE}};
  Monitor().control_status = {SERVICE_STOP_PENDING, 1, 300};
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>({300}), scm.Sleeps());
  EXPECT_EQ(2u, Monitor().queries);
}

TEST_F(Stop, ServiceOrManagerThatCannotBeOpenedIsReported) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST), Run());  // not installed
  FakeScm denied;
  denied.services["KOVAWsSvrMonitor"];
  denied.manager_open_errors = {ERROR_ACCESS_DENIED};
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), stop_service(denied, denied));
  EXPECT_EQ(std::vector<std::string>({"OpenManager 0xf003f"}), denied.calls);
}

// The monitor service runs and stops at once when asked; its dependents are scripted.
class StopDependents : public Stop {
 protected:
  void SetUp() override {
    Monitor().statuses = {{SERVICE_RUNNING}};
    Monitor().control_status = {SERVICE_STOPPED};
  }
  FakeService& Dependent(const std::string& name) { return scm.services[name]; }
  // A dependent that reports stop-pending `polls` times, `hint` ms apart, then stopped.
  void StopsAfter(const std::string& name, size_t polls, DWORD hint) {
    FakeService& d = Dependent(name);
    d.control_status = {SERVICE_STOP_PENDING, 1, hint};
    d.statuses.assign(polls - 1, ScriptedStatus{SERVICE_STOP_PENDING, 1, hint});
    d.statuses.push_back({SERVICE_STOPPED});
  }
};

TEST_F(StopDependents, AreStoppedOneByOneInOrderBeforeTheService) {
  Monitor().dependents = {"DepA", "DepB"};
  StopsAfter("DepA", 1, 100);
  Dependent("DepB").control_status = {SERVICE_STOPPED};
  EXPECT_EQ(0u, Run());
  const std::vector<std::string> expected = {"OpenManager 0xf003f",
                                             "Open KOVAWsSvrMonitor 0x2c",
                                             "Query KOVAWsSvrMonitor",
                                             "Enum KOVAWsSvrMonitor",
                                             "Open DepA 0x24",
                                             "Control DepA 1",
                                             "Sleep 100",
                                             "Query DepA",
                                             "Close DepA",
                                             "Open DepB 0x24",
                                             "Control DepB 1",
                                             "Close DepB",
                                             "Control KOVAWsSvrMonitor 1",
                                             "Close KOVAWsSvrMonitor",
                                             "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

TEST_F(StopDependents, OneThatNeverStopsLeavesTheLaterOnesAloneAndTheStopStillFollows) {
  Monitor().dependents = {"DepA", "DepB"};
  Dependent("DepA").control_status = {SERVICE_STOP_PENDING, 1, 1000};
  Dependent("DepA").statuses = {{SERVICE_STOP_PENDING, 1, 1000}};
  StopsAfter("DepB", 1, 0);
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(31u, Dependent("DepA").queries);  // 31 s > 30 s
  EXPECT_EQ(0u, Count("Open DepB 0x24"));
  EXPECT_EQ(1u, Count("Control KOVAWsSvrMonitor 1"));
  EXPECT_EQ("Control KOVAWsSvrMonitor 1", scm.calls[scm.calls.size() - 3]);
}

TEST_F(StopDependents, ShareOneBudget) {
  // DepA takes 20 s and DepB would take 20 s more: each within 30 s on its own, but the shared
  // budget runs out while DepB stops, and DepC is never touched.
  Monitor().dependents = {"DepA", "DepB", "DepC"};
  StopsAfter("DepA", 4, 5000);
  StopsAfter("DepB", 4, 5000);
  StopsAfter("DepC", 1, 0);
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(4u, Dependent("DepA").queries);
  EXPECT_EQ(3u, Dependent("DepB").queries);  // at 25, 30 and 35 s
  EXPECT_EQ(0u, Count("Open DepC 0x24"));
  EXPECT_EQ(1u, Count("Control KOVAWsSvrMonitor 1"));
}

TEST_F(StopDependents, OneThatCannotBeOpenedControlledOrQueriedEndsTheRound) {
  enum Where { kOpen, kControl, kQuery };
  for (Where where : {kOpen, kControl, kQuery}) {
    FakeScm fresh;
    FakeService& monitor = fresh.services["KOVAWsSvrMonitor"];
    monitor.statuses = {{SERVICE_RUNNING}};
    monitor.control_status = {SERVICE_STOPPED};
    monitor.dependents = {"DepA", "DepB"};
    FakeService& a = fresh.services["DepA"];
    a.control_status = {SERVICE_STOP_PENDING, 1, 10};
    if (where == kOpen) a.open_error = ERROR_ACCESS_DENIED;
    if (where == kControl) a.control_error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    if (where == kQuery) a.statuses = {{SERVICE_STOPPED, 0, 0, ERROR_INVALID_HANDLE}};
    fresh.services["DepB"].control_status = {SERVICE_STOPPED};
    EXPECT_EQ(0u, stop_service(fresh, fresh));
    EXPECT_TRUE(fresh.CallsStartingWith("Open DepB").empty()) << "failure at step " << where;
    EXPECT_EQ(1u, fresh.CallsStartingWith("Control KOVAWsSvrMonitor 1").size());
    EXPECT_EQ(0u, fresh.OpenHandles());
  }
}

TEST_F(StopDependents, FailedEnumerationStillStopsTheService) {
  Monitor().dependents = {"DepA"};
  Monitor().enum_error = ERROR_ACCESS_DENIED;
  StopsAfter("DepA", 1, 0);
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(0u, Count("Open DepA 0x24"));
  EXPECT_EQ(1u, Count("Control KOVAWsSvrMonitor 1"));
}

}  // namespace
