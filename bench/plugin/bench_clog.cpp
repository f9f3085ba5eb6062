// Benchmark of the log facility: lines per second through clog_write against the floor of this
// design, a bare open-append-close loop writing the same bytes, measured in the same run.
#include <windows.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_log_util.h"
#include "clog.h"
#include "clog_internal.h"

namespace {

constexpr int kLines = 3000;
constexpr int kRounds = 5;
constexpr char kMessageFormat[] = "bench line %d with a payload of typical length: %s";
constexpr char kPayload[] = "{\"method\":\"GetUserInfo\",\"data\":{\"pin\":\"\"}}";

double ClogRound() {
  DeleteFileA(kova_bench::LogPath().c_str());
  const double start = kova_bench::Seconds();
  for (int i = 0; i < kLines; ++i) CLOG_T(kMessageFormat, i, kPayload);
  return kLines / (kova_bench::Seconds() - start);
}

// One line formatted exactly as clog_write formats it.
std::string SampleLine() {
  std::vector<char> buffer(4096);
  const auto format = [&](const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    const std::size_t length = clog_detail::FormatLine(buffer.data(), buffer.size(), CLOG_TRACE,
                                                       clog_detail::HostExeName(), "bench_clog.cpp",
                                                       30, "{anonymous}::ClogRound", fmt, args);
    va_end(args);
    return std::string(buffer.data(), length);
  };
  return format(kMessageFormat, 1234, kPayload);
}

double BareRound(const std::string& line) {
  const std::string path = kova_bench::LogDir() + "bare.log";
  DeleteFileA(path.c_str());
  const double start = kova_bench::Seconds();
  for (int i = 0; i < kLines; ++i) {
    FILE* file = std::fopen(path.c_str(), "a+t");
    if (!file) continue;
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
  }
  return kLines / (kova_bench::Seconds() - start);
}

}  // namespace

int main() {
  clog_init();
  CLOG_T("warm-up: makes the log directory");
  const std::string line = SampleLine();
  std::vector<double> clog_rates;
  std::vector<double> bare_rates;
  for (int round = 0; round < kRounds; ++round) {  // interleaved, so drift hits both alike
    clog_rates.push_back(ClogRound());
    bare_rates.push_back(BareRound(line));
  }
  const double clog_rate = kova_bench::Median(clog_rates);
  const double bare_rate = kova_bench::Median(bare_rates);
  std::printf("log facility: %d lines x %d rounds, line of %zu bytes, medians\n", kLines, kRounds,
              line.size());
  std::printf("  clog_write                 %10.0f lines/s\n", clog_rate);
  std::printf("  bare open-append-close     %10.0f lines/s  (baseline)\n", bare_rate);
  std::printf("  ratio clog_write / bare    %10.3f  (goal >= 0.8)\n", clog_rate / bare_rate);
  return 0;
}
