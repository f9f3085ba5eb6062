// SKF_VerifyPIN through the shim with 1, 100 and 10,000 live shim handles, against a plain
// forwarder with the same argument widths (SKF_ExportCertificate) measured in the same run.
// Every handle is an application opened on an untracked device, so each one has a record and a
// driver handle of its own. Each count has a shim copy of its own; rounds alternate between
// them. The fake driver only answers (recording off). "first"/"last" use the handle issued
// first/last, "cycling" walks all live handles in turn.
// Run under Wine: build/test/wine-run.sh build/test/bin/bench_skfshim_handles.exe [millions]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fake_skf_client.h"
#include "skf_entries.h"

namespace {

double SecondsNow() {
  LARGE_INTEGER frequency, counter;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// ns per call of one loop of `calls` calls of body().
template <class Body>
double NsPerCall(long calls, Body body) {
  volatile ULONG sink = 0;
  const double start = SecondsNow();
  for (long i = 0; i < calls; ++i) sink = sink + body();
  return (SecondsNow() - start) * 1e9 / static_cast<double>(calls);
}

// One shim of its own (so a manager of its own) holding `live` shim handles.
struct Setup {
  explicit Setup(size_t live) : live(live) {}
  bool Prepare() {
    if (!install.ok() || install.Load() == nullptr || install.LoadedDriver() == nullptr)
      return false;
    kova_test::FakeSkfDriver driver(install.LoadedDriver());
    auto connect = install.Export<skf::PFN_SKF_ConnectDev>("SKF_ConnectDev");
    auto open = install.Export<skf::PFN_SKF_OpenApplication>("SKF_OpenApplication");
    verifyPin = install.Export<skf::PFN_SKF_VerifyPIN>("SKF_VerifyPIN");
    plain = install.Export<skf::PFN_SKF_ExportCertificate>("SKF_ExportCertificate");
    if (!driver.valid() || !connect || !open || !verifyPin || !plain) return false;
    driver.SetRecording(false);
    driver.SetSerialNumber("00000001");  // untracked: every open gets a record of its own
    char devName[] = "token", appName[] = "App";
    DEVHANDLE dev = nullptr;
    if (connect(devName, &dev) != SAR_OK) return false;
    while (handles.size() < live) {
      HAPPLICATION app = nullptr;
      if (open(dev, appName, &app) != SAR_OK) return false;
      handles.push_back(app);
    }
    return true;
  }

  // One round of each measurement; keeps the best figures.
  void Round(long calls) {
    char pin[] = "123456";
    ULONG retry = 0, length = 0;
    BYTE cert[16];
    const HAPPLICATION first = handles.front(), last = handles.back();
    best[0] =
        std::min(best[0], NsPerCall(calls, [&] { return plain(first, TRUE, cert, &length); }));
    best[1] = std::min(best[1], NsPerCall(calls, [&] { return verifyPin(first, 1, pin, &retry); }));
    best[2] = std::min(best[2], NsPerCall(calls, [&] { return verifyPin(last, 1, pin, &retry); }));
    size_t next = 0;
    best[3] = std::min(best[3], NsPerCall(calls, [&] {
                         const HAPPLICATION app = handles[next];
                         if (++next == handles.size()) next = 0;
                         return verifyPin(app, 1, pin, &retry);
                       }));
  }

  size_t live;
  kova_test::ShimInstall install;
  skf::PFN_SKF_VerifyPIN verifyPin = nullptr;
  skf::PFN_SKF_ExportCertificate plain = nullptr;
  std::vector<HAPPLICATION> handles;
  double best[4] = {1e30, 1e30, 1e30, 1e30};  // plain, first handle, last handle, cycling
};

}  // namespace

int main(int argc, char** argv) {
  const long calls = (argc > 1 ? std::atol(argv[1]) : 2) * 1000000L;
  const int rounds = 7;
  std::vector<std::unique_ptr<Setup>> setups;
  for (size_t live : {size_t{1}, size_t{100}, size_t{10000}}) {
    setups.push_back(std::make_unique<Setup>(live));
    if (!setups.back()->Prepare()) {
      std::fprintf(stderr, "cannot prepare the shim with %zu handles\n", live);
      return 1;
    }
  }
  // Rounds alternate between the three shims, so that a noisy moment hits all of them alike.
  for (int r = 0; r < rounds; ++r) {
    for (auto& setup : setups) setup->Round(calls);
  }

  std::printf("SKF_VerifyPIN through the shim: %ld calls per round, best of %d rounds\n", calls,
              rounds);
  std::printf("plain: SKF_ExportCertificate (same argument widths, plain forwarder)\n");
  std::printf("%12s %10s %14s %14s %14s %12s\n", "live handles", "plain ns", "first ns", "last ns",
              "cycling ns", "last/plain");
  for (const auto& s : setups) {
    std::printf("%12zu %10.2f %14.2f %14.2f %14.2f %12.2f\n", s->live, s->best[0], s->best[1],
                s->best[2], s->best[3], s->best[2] / s->best[0]);
  }
  const Setup& one = *setups.front();
  const Setup& many = *setups.back();
  std::printf(
      "ratio 10,000 : 1 handles   first %.2f   last %.2f   cycling %.2f   (goal: at most 2)\n",
      many.best[1] / one.best[1], many.best[2] / one.best[2], many.best[3] / one.best[3]);
  return 0;
}
