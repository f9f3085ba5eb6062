// MD5Digest throughput on 1 MiB inputs next to the system's MD5 (BCrypt), measured in the same
// run. Prints MB/s for both and our speed as a ratio of the system's (goal: at least 1.0).
#include <windows.h>

#include <cstdio>
#include <vector>

#include "md5.h"
#include "system_md5.h"

namespace {

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

template <typename Fn>
double BestMegabytesPerSecond(Fn digestOnce, int hashesPerRound, size_t bytesPerHash) {
  double best = 0;
  for (int round = 0; round < 7; ++round) {
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    for (int i = 0; i < hashesPerRound; ++i) digestOnce();
    QueryPerformanceCounter(&t1);
    const double mbps =
        static_cast<double>(bytesPerHash) * hashesPerRound / Seconds(t0, t1) / (1024.0 * 1024.0);
    if (mbps > best) best = mbps;
  }
  return best;
}

}  // namespace

int main() {
  const size_t kSize = 1024 * 1024;
  std::vector<unsigned char> data(kSize);
  unsigned x = 12345;
  for (auto& b : data) b = static_cast<unsigned char>((x = x * 1103515245 + 12345) >> 16);

  SystemMd5 system;
  if (!system.ok()) {
    std::printf("the system offers no MD5\n");
    return 1;
  }
  unsigned char ours[16], theirs[16];
  MD5Digest(data.data(), static_cast<unsigned int>(kSize), ours);
  system.Digest(data.data(), static_cast<ULONG>(kSize), theirs);
  if (DigestHex(ours) != DigestHex(theirs)) {
    std::printf("digests differ: %s vs %s\n", DigestHex(ours).c_str(), DigestHex(theirs).c_str());
    return 1;
  }

  const int kHashes = 32;  // 32 MiB per round, best of 7 rounds, rounds of both interleaved
  double oursBest = 0, systemBest = 0;
  for (int pass = 0; pass < 3; ++pass) {
    const double o = BestMegabytesPerSecond(
        [&] { MD5Digest(data.data(), static_cast<unsigned int>(kSize), ours); }, kHashes, kSize);
    const double s = BestMegabytesPerSecond(
        [&] { system.Digest(data.data(), static_cast<ULONG>(kSize), theirs); }, kHashes, kSize);
    if (o > oursBest) oursBest = o;
    if (s > systemBest) systemBest = s;
  }
  std::printf("MD5 of 1 MiB inputs, best of 21 rounds of 32 MiB each\n");
  std::printf("  MD5Digest        %8.1f MB/s\n", oursBest);
  std::printf("  system (BCrypt)  %8.1f MB/s   (baseline)\n", systemBest);
  std::printf("  ratio MD5Digest / system = %.2f\n", oursBest / systemBest);
  return 0;
}
