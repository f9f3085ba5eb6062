// Restart delay of the watch loop: the monitor runs as a service of Wine's manager and watches
// the substitute "KOVAWsCoreSvr"; the service is stopped by hand 20 times at random moments and
// the time until it runs again is measured. The baseline, measured in the same run, is what
// the delay can be at most: the 5 s period plus the time of one attempt (an attempt that finds
// the service running, and one that starts it).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "monitor_service.h"
#include "service_ops.h"
#include "test_util.h"
#include "win32_scm_api.h"
#include "wine_services.h"

namespace {

using kova_monitor_test::CountEvents;
using kova_monitor_test::RegisterCoreDouble;
using kova_monitor_test::RemoveServiceForTest;
using kova_monitor_test::RunProgram;
using kova_monitor_test::SendStop;
using kova_monitor_test::WaitForServiceState;

constexpr char kMonitor[] = "KOVAWsSvrMonitor";
constexpr char kCore[] = "KOVAWsCoreSvr";
constexpr int kRounds = 20;
constexpr int kAttemptSamples = 5;

// Milliseconds of one start_service_and_wait of the watched service, as the loop makes it.
DWORD TimeOneAttempt() {
  const DWORD begin = GetTickCount();
  kova_monitor::start_service_and_wait(kova_monitor::SystemScm(), kova_monitor::SystemTime(),
                                       kCore);
  return GetTickCount() - begin;
}

bool StopCore() {
  return SendStop(kCore) == 0 && WaitForServiceState(kCore, SERVICE_STOPPED, 5000);
}

DWORD Median(std::vector<DWORD> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

bool Fail(const char* what) {
  std::printf("benchmark failed: %s\n", what);
  return false;
}

bool Run(const std::string& events) {
  if (!RemoveServiceForTest(kMonitor) || !RemoveServiceForTest(kCore)) {
    return Fail("could not clear the services");
  }
  if (!RegisterCoreDouble("--events \"" + events + "\"")) return Fail("could not register");

  // Baseline, before the monitor runs: attempts that start the stopped service, and attempts
  // that find it running.
  std::vector<DWORD> starting, running;
  for (int i = 0; i < kAttemptSamples; ++i) {
    starting.push_back(TimeOneAttempt());
    if (!WaitForServiceState(kCore, SERVICE_RUNNING, 5000)) return Fail("no start");
    running.push_back(TimeOneAttempt());
    if (!StopCore()) return Fail("no stop");
  }
  const DWORD attempt_start = Median(starting);
  const DWORD attempt_noop = Median(running);

  const std::string exe = kova_test::ExeDir() + "KOVAWsSvrMonitor.exe";
  if (RunProgram(exe, " -install").out != "install ok.") return Fail("install");
  if (RunProgram(exe, " -start").out != "start ok.") return Fail("start");
  if (!WaitForServiceState(kCore, SERVICE_RUNNING, 5000)) return Fail("first attempt");

  const DWORD cycle = kova_monitor::kWatchPeriodMs + attempt_noop;
  std::mt19937 random(GetTickCount());
  std::uniform_int_distribution<DWORD> moment(0, cycle);
  std::vector<DWORD> delays;
  for (int round = 0; round < kRounds; ++round) {
    Sleep(moment(random));
    if (!StopCore()) return Fail("no stop");
    const DWORD stopped = GetTickCount();
    if (!WaitForServiceState(kCore, SERVICE_RUNNING, 3 * cycle)) return Fail("no restart");
    delays.push_back(GetTickCount() - stopped);
    std::printf("  round %2d: running again after %5lu ms\n", round + 1,
                static_cast<unsigned long>(delays.back()));
  }
  const int starts = CountEvents(events, "running");
  RemoveServiceForTest(kMonitor);
  RemoveServiceForTest(kCore);

  std::sort(delays.begin(), delays.end());
  const DWORD bound = kova_monitor::kWatchPeriodMs + attempt_noop + attempt_start;
  std::printf("one attempt (median of %d): %lu ms finding it running, %lu ms starting it\n",
              kAttemptSamples, static_cast<unsigned long>(attempt_noop),
              static_cast<unsigned long>(attempt_start));
  std::printf("baseline: period %lu ms + attempts %lu ms = %lu ms\n",
              static_cast<unsigned long>(kova_monitor::kWatchPeriodMs),
              static_cast<unsigned long>(attempt_noop + attempt_start),
              static_cast<unsigned long>(bound));
  std::printf("restart delay over %d stops: min %lu ms, median %lu ms, max %lu ms\n", kRounds,
              static_cast<unsigned long>(delays.front()),
              static_cast<unsigned long>(delays[delays.size() / 2]),
              static_cast<unsigned long>(delays.back()));
  std::printf("ratio to baseline: min %.2f, median %.2f, max %.2f\n",
              static_cast<double>(delays.front()) / bound,
              static_cast<double>(delays[delays.size() / 2]) / bound,
              static_cast<double>(delays.back()) / bound);
  std::printf("starts of the watched service: %d (%d by the baseline, %d restarts, 1 first)\n",
              starts, kAttemptSamples, kRounds);
  return true;
}

}  // namespace

int main() {
  kova_test::TempDir dir("kova-bench-monitor");
  return Run(dir / "core.events") ? 0 : 1;
}
