// The service main, the control handler and the watch loop with a scripted manager, clock
// and service host: what is reported when, the attempts and pauses of the loop, and how a stop
// from the dispatcher thread ends it.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>

#include "fake_scm.h"
#include "monitor_service.h"

using kova_monitor::monitor_control_handler;
using kova_monitor::monitor_service_main;
using kova_monitor_test::FakeScm;

namespace {

// Records handler registration and every status report.
class FakeHost : public kova_monitor::ServiceHost {
 public:
  SERVICE_STATUS_HANDLE RegisterHandler(const char* name, LPHANDLER_FUNCTION handler) override {
    registered_name = name;
    registered_handler = handler;
    if (on_register) on_register();
    return register_fails ? nullptr : reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151);
  }
  BOOL Report(SERVICE_STATUS_HANDLE handle, const SERVICE_STATUS& status) override {
    std::lock_guard<std::mutex> lock(mutex);
    handles.push_back(handle);
    reports.push_back(status);
    return TRUE;
  }
  std::vector<DWORD> States() {
    std::lock_guard<std::mutex> lock(mutex);
    std::vector<DWORD> out;
    for (const SERVICE_STATUS& s : reports) out.push_back(s.dwCurrentState);
    return out;
  }

  bool register_fails = false;
  std::function<void()> on_register;
  std::string registered_name;
  LPHANDLER_FUNCTION registered_handler = nullptr;
  std::mutex mutex;
  std::vector<SERVICE_STATUS_HANDLE> handles;
  std::vector<SERVICE_STATUS> reports;
};

class MonitorService : public ::testing::Test {
 protected:
  void SetUp() override { kova_monitor::SetMonitorServiceDepsForTest(&scm, &scm, &host); }
  void TearDown() override {
    kova_monitor::SetMonitorServiceDepsForTest(nullptr, nullptr, nullptr);
    EXPECT_EQ(0u, scm.OpenHandles());
  }
  // Delivers `control` at the given sleep of the loop (1 = the first), as the dispatcher would.
  void ControlAtSleep(size_t sleep_number, DWORD control) {
    scm.on_sleep = [this, sleep_number, control](DWORD) {
      if (scm.Sleeps().size() == sleep_number) monitor_control_handler(control);
    };
  }
  size_t Attempts() const { return scm.CallsStartingWith("Open KOVAWsCoreSvr").size(); }

  FakeScm scm;
  FakeHost host;
};

TEST_F(MonitorService, ReportsRunningWithTheFixedRecordThenWatchesUntilStopped) {
  ControlAtSleep(2, SERVICE_CONTROL_STOP);
  monitor_service_main(0, nullptr);

  EXPECT_EQ("KOVAWsSvrMonitor", host.registered_name);
  EXPECT_EQ(&monitor_control_handler, host.registered_handler);
  ASSERT_EQ(2u, host.reports.size());
  for (size_t i = 0; i < 2; ++i) {
    const SERVICE_STATUS& r = host.reports[i];
    EXPECT_EQ(reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151), host.handles[i]);
    EXPECT_EQ(0x30u, r.dwServiceType);
    EXPECT_EQ(0x5u, r.dwControlsAccepted);
    EXPECT_EQ(0u, r.dwWin32ExitCode);
    EXPECT_EQ(0u, r.dwServiceSpecificExitCode);
    EXPECT_EQ(0u, r.dwCheckPoint);
    EXPECT_EQ(0u, r.dwWaitHint);
  }
  // Start-pending is never reported.
  EXPECT_EQ(std::vector<DWORD>({SERVICE_RUNNING, SERVICE_STOPPED}), host.States());
  // The first attempt comes before any pause; after the stop no further attempt is made.
  EXPECT_EQ("OpenManager 0xf003f", scm.calls.front());
  EXPECT_EQ(std::vector<DWORD>({5000, 5000}), scm.Sleeps());
  EXPECT_EQ(2u, Attempts());
}

TEST_F(MonitorService, FailedHandlerRegistrationReturnsWithoutReportOrAttempt) {
  host.register_fails = true;
  monitor_service_main(0, nullptr);
  EXPECT_TRUE(host.reports.empty());
  EXPECT_TRUE(scm.calls.empty());
}

TEST_F(MonitorService, StopArrivingBeforeTheHandleIsStoredIsReportedWithItAndRunsNoLoop) {
  // The dispatcher may call the handler as soon as it is registered.
  host.on_register = [] { monitor_control_handler(SERVICE_CONTROL_STOP); };
  monitor_service_main(0, nullptr);
  EXPECT_EQ(SERVICE_STOPPED, kova_monitor::monitor_status.state.load());
  EXPECT_EQ(0u, Attempts());
  ASSERT_FALSE(host.reports.empty());
  EXPECT_EQ(static_cast<DWORD>(SERVICE_STOPPED), host.reports.back().dwCurrentState);
  EXPECT_EQ(reinterpret_cast<SERVICE_STATUS_HANDLE>(0x5151), host.handles.back());
  for (const SERVICE_STATUS& r : host.reports) EXPECT_NE(SERVICE_RUNNING, r.dwCurrentState);
}

TEST_F(MonitorService, ControlsOtherThanStopAndShutdownReportTheRecordUnchanged) {
  struct Case {
    DWORD control;
    DWORD state_after;
  };
  for (const Case c :
       {Case{SERVICE_CONTROL_STOP, SERVICE_STOPPED},
        Case{SERVICE_CONTROL_SHUTDOWN, SERVICE_STOPPED},
        Case{SERVICE_CONTROL_INTERROGATE, SERVICE_RUNNING},
        Case{SERVICE_CONTROL_PAUSE, SERVICE_RUNNING},
        Case{SERVICE_CONTROL_PARAMCHANGE, SERVICE_RUNNING}, Case{0x80, SERVICE_RUNNING}}) {
    FakeScm fresh;
    FakeHost fresh_host;
    kova_monitor::SetMonitorServiceDepsForTest(&fresh, &fresh, &fresh_host);
    // The control arrives in the first pause; a stop in the second ends a loop still running.
    fresh.on_sleep = [&fresh, c](DWORD) {
      const size_t n = fresh.Sleeps().size();
      if (n == 1) monitor_control_handler(c.control);
      if (n == 2) monitor_control_handler(SERVICE_CONTROL_STOP);
    };
    monitor_service_main(0, nullptr);
    const std::vector<DWORD> states = fresh_host.States();
    ASSERT_GE(states.size(), 2u);
    EXPECT_EQ(c.state_after, states[1]) << "control " << c.control;
    EXPECT_EQ(c.state_after == SERVICE_STOPPED ? 1u : 2u,
              fresh.CallsStartingWith("Open KOVAWsCoreSvr").size())
        << "control " << c.control;
  }
  kova_monitor::SetMonitorServiceDepsForTest(&scm, &scm, &host);
}

TEST_F(MonitorService, EachAttemptReEnablesAndStartsTheWatchedService) {
  scm.services["KOVAWsCoreSvr"].start_type = SERVICE_DISABLED;
  scm.services["KOVAWsCoreSvr"].statuses = {{SERVICE_STOPPED}, {SERVICE_RUNNING}};
  ControlAtSleep(1, SERVICE_CONTROL_STOP);
  monitor_service_main(0, nullptr);
  const std::vector<std::string> expected = {"OpenManager 0xf003f",
                                             "Open KOVAWsCoreSvr 0xf01ff",
                                             "QueryStartType KOVAWsCoreSvr",
                                             "ChangeStartType KOVAWsCoreSvr 2",
                                             "Query KOVAWsCoreSvr",
                                             "Start KOVAWsCoreSvr",
                                             "Query KOVAWsCoreSvr",
                                             "Close KOVAWsCoreSvr",
                                             "Close manager",
                                             "Sleep 5000"};
  EXPECT_EQ(expected, scm.calls);
}

// The handler runs on the dispatcher's thread while the loop runs on the service thread.
TEST_F(MonitorService, StopFromAnotherThreadEndsTheLoopAtItsNextTest) {
  std::atomic<int> pauses{0};
  scm.on_sleep = [&pauses](DWORD) {
    pauses.fetch_add(1);
    ::Sleep(2);
  };
  std::atomic<bool> ended{false};
  std::thread service([&ended] {
    monitor_service_main(0, nullptr);
    ended.store(true);
  });
  while (pauses.load() < 3) ::Sleep(1);
  monitor_control_handler(SERVICE_CONTROL_STOP);
  for (int i = 0; i < 2000 && !ended.load(); ++i) ::Sleep(1);
  EXPECT_TRUE(ended.load()) << "the loop did not see the stop";
  service.join();
  const std::vector<DWORD> states = host.States();
  EXPECT_EQ(SERVICE_STOPPED, states.back());
}

}  // namespace
