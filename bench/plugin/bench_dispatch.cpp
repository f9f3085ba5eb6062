// Benchmark of request dispatch: messages per second through wbs_on_message, with a library
// that answers at once, against the floor of the same number of bare log lines (each message
// writes six lines), measured in the same run. The overhead is the share of a message's time
// beyond its log lines.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench_log_util.h"
#include "clog.h"
#include "kova_websocket.h"
#include "nolvex_control.h"
#include "plugin_host.h"

namespace {

constexpr int kMessages = 1000;
constexpr int kLinesPerMessage = 6;
constexpr int kRounds = 5;
constexpr char kRequest[] = "{\"method\":\"GetUserInfo\",\"data\":{\"index\":1}}";

double DispatchRound(host_double::FakeServer& server) {
  DeleteFileA(kova_bench::LogPath().c_str());
  const double start = kova_bench::Seconds();
  for (int i = 0; i < kMessages; ++i) {
    wbs_on_message(nullptr, server.get(), nullptr, nullptr, kRequest, sizeof kRequest - 1);
  }
  return kMessages / (kova_bench::Seconds() - start);
}

// The same six lines per message, logged bare: the messages per second logging alone allows.
double LinesRound() {
  DeleteFileA(kova_bench::LogPath().c_str());
  const double start = kova_bench::Seconds();
  for (int i = 0; i < kMessages; ++i) {
    CLOG_T("wbs_on_message...");
    CLOG_T("wbs_on_message,client pid(%d) client path(%s) do request...", 1234,
           "C:\\client\\app.exe");
    CLOG_T("wbs_on_message,client request data(%s)...", kRequest);
    CLOG_T("do_call_ax ...");
    CLOG_T("wbs_on_message,do_call_ax ret(%d) response(%s)...", 0, "{\"code\":0,\"msg\":\"ok\"}");
    CLOG_T("wbs_on_message,server->send,ret=%d", 0);
  }
  return kMessages / (kova_bench::Seconds() - start);
}

}  // namespace

int main() {
  nolvex_double::Reset();
  nolvex_double::SetRecording(false);
  nolvex_double::SetBehaviour(nolvex_double::Entry::kDoCommand,
                              nolvex_double::Behaviour::Answer("{\"code\":0,\"msg\":\"ok\"}"));
  nolvex_double::UseVariant(nolvex_double::Variant::kFull);
  kova_ws_init();
  host_double::FakeServer server;
  server.SetClient(1234, "C:\\client\\app.exe");
  server.SetRecording(false);

  std::vector<double> dispatch_rates;
  std::vector<double> line_rates;
  for (int round = 0; round < kRounds; ++round) {  // interleaved, so drift hits both alike
    dispatch_rates.push_back(DispatchRound(server));
    line_rates.push_back(LinesRound());
  }
  const double dispatch = kova_bench::Median(dispatch_rates);
  const double lines = kova_bench::Median(line_rates);
  std::printf("dispatch: %d messages x %d rounds, %d log lines each, medians\n", kMessages, kRounds,
              kLinesPerMessage);
  std::printf("  wbs_on_message                 %10.0f messages/s\n", dispatch);
  std::printf("  bare log lines (6 a message)   %10.0f messages/s  (baseline)\n", lines);
  std::printf("  dispatch overhead beyond its log lines  %6.1f %%  (goal <= 25 %%)\n",
              (lines / dispatch - 1.0) * 100.0);
  return 0;
}
