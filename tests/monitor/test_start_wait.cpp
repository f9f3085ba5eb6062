// start_service_and_wait and enable_service_if_disabled against a scripted manager and clock:
// the poll period, the end of the wait, no wait after a refused start, the re-enabling, and
// every handle closed.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_scm.h"
#include "service_ops.h"

using kova_monitor::start_service_and_wait;
using kova_monitor_test::FakeScm;
using kova_monitor_test::FakeService;
using kova_monitor_test::ScriptedStatus;

namespace {

class StartWait : public kova_monitor_test::FakeScmTest {
 protected:
  FakeService& Core() { return scm.services["KOVAWsCoreSvr"]; }
  DWORD Run() { return start_service_and_wait(scm, scm, "KOVAWsCoreSvr"); }
  // Stopped when first asked, then the given answers once the start has been requested.
  void ScriptAfterStart(std::vector<ScriptedStatus> after) {
    Core().statuses = {{SERVICE_STOPPED}};
    Core().statuses.insert(Core().statuses.end(), after.begin(), after.end());
  }
  // Wait hint 3,000 ms; the check point grows at polls 1..4, then freezes.
  void ScriptGrowthThenFreeze() {
    ScriptAfterStart({{SERVICE_START_PENDING, 1, 3000},
                      {SERVICE_START_PENDING, 2, 3000},
                      {SERVICE_START_PENDING, 3, 3000},
                      {SERVICE_START_PENDING, 4, 3000},
                      {SERVICE_START_PENDING, 5, 3000}});
  }
};

TEST_F(StartWait, StartsAStoppedServiceWithAllAccessAndClosesBothHandles) {
  ScriptAfterStart({{SERVICE_START_PENDING, 1, 0}, {SERVICE_RUNNING}});
  EXPECT_EQ(0u, Run());
  const std::vector<std::string> expected = {
      "OpenManager 0xf003f", "Open KOVAWsCoreSvr 0xf01ff", "QueryStartType KOVAWsCoreSvr",
      "Query KOVAWsCoreSvr", "Start KOVAWsCoreSvr",        "Query KOVAWsCoreSvr",
      "Sleep 1000",          "Query KOVAWsCoreSvr",        "Close KOVAWsCoreSvr",
      "Close manager"};
  EXPECT_EQ(expected, scm.calls);
}

// The pause is a tenth of the wait hint within 1 s .. 10 s; with a frozen check point the
// wait ends at the first poll at which more than the wait hint has passed.
struct PollCase {
  DWORD wait_hint;
  DWORD period;
  size_t polls;
};

void PrintTo(const PollCase& c, std::ostream* os) {
  *os << "wait hint " << c.wait_hint << " ms: " << c.polls << " polls " << c.period << " ms apart";
}

class StartPollPeriod : public StartWait, public ::testing::WithParamInterface<PollCase> {};

TEST_P(StartPollPeriod, FrozenCheckPointPollsAtTheBoundedPeriodUntilTheHintHasPassed) {
  const PollCase c = GetParam();
  ScriptAfterStart({{SERVICE_START_PENDING, 1, c.wait_hint}});
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(c.polls, c.period), scm.Sleeps());
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartPollPeriod,
    ::testing::Values(PollCase{0, 1000, 1},         // ends at the first poll that saw no growth
                      PollCase{9999, 1000, 10},     // 10,000 ms passed > 9,999
                      PollCase{10000, 1000, 11},    // 10,000 is not more than 10,000
                      PollCase{10010, 1001, 11},    // hint/10 inside the bounds
                      PollCase{55550, 5555, 11},    //
                      PollCase{100000, 10000, 11},  // upper bound reached exactly
                      PollCase{200000, 10000, 21}));

TEST_F(StartWait, GrowingCheckPointKeepsWaitingAndRestartsTheHintFromTheLastGrowth) {
  // Wait hint 3,000 ms (polls 1,000 ms apart). The check point grows at polls 1..4, then
  // freezes: the wait ends once more than 3,000 ms have passed since poll 4, at poll 8.
  ScriptGrowthThenFreeze();
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(8, 1000), scm.Sleeps());
}

TEST_F(StartWait, HintIsCountedAcrossTheTickCountWrap) {
  // As above, the last growth 1.5 s before the tick count wraps to 0.
  scm.now = 0xFFFFFFFFu - 5500u;
  ScriptGrowthThenFreeze();
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>(8, 1000), scm.Sleeps());
}

TEST_F(StartWait, EndsWhenTheServiceLeavesStartPendingWhateverTheOutcome) {
  // Running or stopped again: the state is not examined, both end the wait as done.
  for (DWORD end_state : {SERVICE_RUNNING, SERVICE_STOPPED}) {
    FakeScm fresh;
    fresh.services["KOVAWsCoreSvr"].statuses = {{SERVICE_STOPPED},
                                                {SERVICE_START_PENDING, 1, 20000},
                                                {SERVICE_START_PENDING, 2, 20000},
                                                {end_state}};
    EXPECT_EQ(0u, start_service_and_wait(fresh, fresh, "KOVAWsCoreSvr"));
    EXPECT_EQ(std::vector<DWORD>({2000, 2000}), fresh.Sleeps()) << "end state " << end_state;
    EXPECT_EQ(0u, fresh.OpenHandles());
  }
}

TEST_F(StartWait, RefusedStartRequestIsNotWaitedFor) {
  struct Case {
    DWORD start_error;
    DWORD result;
  };
  // Already start- or stop-pending, the request is refused as "already running"; that is no
  // failure. Any other refusal is reported.
  for (const Case c : {Case{ERROR_SERVICE_ALREADY_RUNNING, ERROR_SUCCESS},
                       Case{ERROR_PATH_NOT_FOUND, ERROR_PATH_NOT_FOUND},
                       Case{ERROR_SERVICE_REQUEST_TIMEOUT, ERROR_SERVICE_REQUEST_TIMEOUT}}) {
    FakeScm fresh;
    FakeService& core = fresh.services["KOVAWsCoreSvr"];
    core.statuses = {{SERVICE_START_PENDING, 1, 20000}};
    core.start_error = c.start_error;
    EXPECT_EQ(c.result, start_service_and_wait(fresh, fresh, "KOVAWsCoreSvr"));
    EXPECT_TRUE(fresh.Sleeps().empty()) << "waited after start error " << c.start_error;
    EXPECT_EQ(1u, core.queries) << "queried after start error " << c.start_error;
    EXPECT_EQ(0u, fresh.OpenHandles());
  }
}

TEST_F(StartWait, RunningServiceIsNotStartedButStillReEnabled) {
  Core().statuses = {{SERVICE_RUNNING}};
  Core().start_type = SERVICE_DISABLED;
  EXPECT_EQ(0u, Run());
  EXPECT_TRUE(scm.CallsStartingWith("Start ").empty());
  EXPECT_EQ(SERVICE_AUTO_START, Core().start_type);
}

TEST_F(StartWait, OnlyADisabledServiceIsSetToAutomaticStartBeforeItIsStarted) {
  struct Case {
    DWORD before;
    DWORD after;
  };
  for (const Case c :
       {Case{SERVICE_DISABLED, SERVICE_AUTO_START},
        Case{SERVICE_DEMAND_START, SERVICE_DEMAND_START},
        Case{SERVICE_AUTO_START, SERVICE_AUTO_START}, Case{SERVICE_BOOT_START, SERVICE_BOOT_START},
        Case{SERVICE_SYSTEM_START, SERVICE_SYSTEM_START}}) {
    FakeScm fresh;
    FakeService& core = fresh.services["KOVAWsCoreSvr"];
    core.start_type = c.before;
    EXPECT_EQ(0u, start_service_and_wait(fresh, fresh, "KOVAWsCoreSvr"));
    EXPECT_EQ(c.after, core.start_type) << "start type " << c.before;
    std::vector<std::string> order = fresh.CallsStartingWith("ChangeStartType");
    const std::vector<std::string> starts = fresh.CallsStartingWith("Start ");
    order.insert(order.end(), starts.begin(), starts.end());
    const std::vector<std::string> expected =
        c.before == SERVICE_DISABLED
            ? std::vector<std::string>{"ChangeStartType KOVAWsCoreSvr 2", "Start KOVAWsCoreSvr"}
            : std::vector<std::string>{"Start KOVAWsCoreSvr"};
    EXPECT_EQ(expected, order) << "start type " << c.before;
    // The change comes before the start request.
    const auto change =
        std::find(fresh.calls.begin(), fresh.calls.end(), "ChangeStartType KOVAWsCoreSvr 2");
    const auto start = std::find(fresh.calls.begin(), fresh.calls.end(), "Start KOVAWsCoreSvr");
    EXPECT_TRUE(change == fresh.calls.end() || change < start);
  }
}

TEST_F(StartWait, StartGoesAheadWhenTheConfigurationCannotBeReadOrChanged) {
  for (bool fail_read : {true, false}) {
    FakeScm fresh;
    FakeService& core = fresh.services["KOVAWsCoreSvr"];
    core.start_type = SERVICE_DISABLED;
    (fail_read ? core.query_config_error : core.change_config_error) = ERROR_ACCESS_DENIED;
    EXPECT_EQ(0u, start_service_and_wait(fresh, fresh, "KOVAWsCoreSvr"));
    EXPECT_EQ(1u, fresh.CallsStartingWith("Start KOVAWsCoreSvr").size());
    EXPECT_EQ(fail_read ? 0u : 1u, fresh.CallsStartingWith("ChangeStartType").size());
  }
}

TEST_F(StartWait, FailedQueryEndsTheWait) {
  ScriptAfterStart({{SERVICE_START_PENDING, 1, 20000},
                    {SERVICE_START_PENDING, 0, 0, ERROR_INVALID_HANDLE},
                    {SERVICE_START_PENDING, 2, 20000}});
  EXPECT_EQ(0u, Run());
  EXPECT_EQ(std::vector<DWORD>({2000}), scm.Sleeps());
}

TEST_F(StartWait, FailedQueryBeforeTheStartRequestIsReportedAndNothingIsStarted) {
  Core().statuses = {{SERVICE_STOPPED, 0, 0, ERROR_ACCESS_DENIED}};
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), Run());
  EXPECT_TRUE(scm.CallsStartingWith("Start ").empty());
}

TEST_F(StartWait, FailedQueryAfterTheStartRequestSkipsTheWait) {
  ScriptAfterStart({{SERVICE_START_PENDING, 0, 0, ERROR_INVALID_HANDLE}});
  EXPECT_EQ(0u, Run());
  EXPECT_TRUE(scm.Sleeps().empty());
}

TEST_F(StartWait, ServiceOrManagerThatCannotBeOpenedEndsTheOperation) {
  // Not installed.
  EXPECT_EQ(static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST),
            start_service_and_wait(scm, scm, "NoSuchService"));
  EXPECT_TRUE(scm.CallsStartingWith("Start").empty());
  // No manager.
  FakeScm denied;
  denied.services["KOVAWsCoreSvr"];
  denied.manager_open_errors = {ERROR_ACCESS_DENIED};
  EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED),
            start_service_and_wait(denied, denied, "KOVAWsCoreSvr"));
  EXPECT_EQ(std::vector<std::string>({"OpenManager 0xf003f"}), denied.calls);
}

TEST_F(StartWait, MissingOrEmptyNameDoesNothing) {
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), start_service_and_wait(scm, scm, nullptr));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), start_service_and_wait(scm, scm, ""));
  EXPECT_TRUE(scm.calls.empty());
}

}  // namespace
