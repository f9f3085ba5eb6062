// The cost of one full timer_SyncSocketState call (set-ups, signature, configuration file, TCP
// table and image path lookup, body, library call, answer, and its log lines), next to the cost of
// one log line and of GetConnectURL alone, measured in the same run. The IP helper library and
// the client utility library are the test doubles, so the figures are the plug-in's own work.
// Run it with the IPHLPAPI.DLL double selected, in a prefix of its own, for example:
//   KOVA_WINE_PREFIX=$PWD/build/test/wine/bench WINEDLLOVERRIDES="mscoree,mshtml=;iphlpapi=n,b"
//   build/test/wine-run.sh build/test/bin/bench_sync_timer.exe
// (both variables set on the command line of the runner)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "clog.h"
#include "connect_url.h"
#include "iphlpapi_fixture.h"
#include "nolvex_control.h"
#include "parse_clnt_win32.h"
#include "sync_test_util.h"
#include "sync_timer.h"
#include "test_util.h"

namespace {

double NowMicroseconds() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1e6 / static_cast<double>(f.QuadPart);
}

// Median cost in microseconds of one call, over rounds of `calls` calls.
template <typename Fn>
double MedianMicroseconds(Fn fn, int calls) {
  std::vector<double> perCall;
  for (int round = 0; round < 9; ++round) {
    const double t0 = NowMicroseconds();
    for (int i = 0; i < calls; ++i) fn();
    perCall.push_back((NowMicroseconds() - t0) / calls);
  }
  std::sort(perCall.begin(), perCall.end());
  return perCall[perCall.size() / 2];
}

}  // namespace

int main() {
  IphlpapiDouble iphlpapi("both");
  if (!iphlpapi.error().empty()) {
    std::printf("%s\n", iphlpapi.error().c_str());
    return 1;
  }
  iphlpapi.SetRows({{kTcpListen, 443, 4}, {kTcpEstablished, 28443, GetCurrentProcessId()}});
  iphlpapi.SetBlockPadding(0);
  const std::string conf = kova_test::ExeDir() + "Nolvex.conf";
  kova_test::WriteFileBytes(conf, "[Default]\r\norigin=https://sync.example\r\npathname=/api/sync"
                                  "\r\nPort=28443\r\nProcName=" + OwnExeName() + "\r\n");
  nolvex_double::Reset();
  nolvex_double::SetRecording(false);
  nolvex_double::UseVariant(nolvex_double::Variant::kFull);
  nolvex_double::SetBehaviour(nolvex_double::Entry::kSyncSocketState,
                              nolvex_double::Behaviour::Answer(
                                  R"({"method":"SyncSocketState","data":true})"));
  clog_init();
  timer_SyncSocketState();  // binds the library; the first call's extra work is not measured
  if (GetConnectURL().empty()) {
    std::printf("no connect URL: is the IPHLPAPI.DLL double selected (iphlpapi=n,b)?\n");
    DeleteFileA(conf.c_str());
    return 1;
  }

  const int kCalls = 50;
  const double logLine = MedianMicroseconds([] { CLOG_T("one line of %d bytes", 20); }, kCalls);
  const double connectUrl = MedianMicroseconds([] { GetConnectURL(); }, kCalls);
  const double timer = MedianMicroseconds([] { timer_SyncSocketState(); }, kCalls);
  ConfInfo info;
  const double readConf = MedianMicroseconds([&] { ReadConfInfo(info); }, kCalls);
  const double pid = MedianMicroseconds([] { kova_get_clnt_pid(28443); }, kCalls);
  const double path =
      MedianMicroseconds([] { kova_get_clnt_path(GetCurrentProcessId()); }, kCalls);
  DeleteFileA(conf.c_str());

  std::printf("timer_SyncSocketState, median of 9 rounds of %d calls\n", kCalls);
  std::printf("  one log line             %9.1f us   (baseline)\n", logLine);
  std::printf("  GetConnectURL            %9.1f us   = %5.1f log lines\n", connectUrl,
              connectUrl / logLine);
  std::printf("  timer_SyncSocketState    %9.1f us   = %5.1f log lines\n", timer, timer / logLine);
  std::printf("parts of GetConnectURL\n");
  std::printf("  ReadConfInfo             %9.1f us   = %5.1f log lines\n", readConf,
              readConf / logLine);
  std::printf("  kova_get_clnt_pid        %9.1f us   = %5.1f log lines\n", pid, pid / logLine);
  std::printf("  kova_get_clnt_path       %9.1f us   = %5.1f log lines\n", path, path / logLine);
  return 0;
}
