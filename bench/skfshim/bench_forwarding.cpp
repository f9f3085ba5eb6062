// Cost of a bound plain forwarder of the shim against a direct call of the driver function it
// forwards to, measured in the same run. The fake driver is told not to record, so that its
// functions only answer their result and the call overhead dominates.
// Run under Wine: build/test/wine-run.sh build/test/bin/bench_skfshim_forwarding.exe [millions]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "fake_skf_client.h"
#include "skf_entries.h"

namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;

double Now() {
  static const double ticksPerNs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e9;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / ticksPerNs;
}

// ns per call of one loop of `calls` calls through fn.
template <class Call>
double NsPerCall(long calls, Call call) {
  ULONG sink = 0;
  const double start = Now();
  for (long i = 0; i < calls; ++i) sink += call();
  const double ns = (Now() - start) / static_cast<double>(calls);
  if (sink == 0xFFFFFFFF) std::printf(" ");  // keeps the results alive
  return ns;
}

struct Measured {
  double direct;
  double forwarded;
};

// Best of several alternating rounds for each side.
template <class Fn, class Invoke>
Measured Compare(Fn direct, Fn forwarded, long calls, int rounds, Invoke invoke) {
  Measured best{1e30, 1e30};
  for (int r = 0; r < rounds; ++r) {
    best.direct = std::min(best.direct, NsPerCall(calls, [&] { return invoke(direct); }));
    best.forwarded = std::min(best.forwarded, NsPerCall(calls, [&] { return invoke(forwarded); }));
  }
  return best;
}

template <class Fn>
Fn Function(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

int main(int argc, char** argv) {
  const long calls = (argc > 1 ? std::atol(argv[1]) : 20) * 1000000L;
  const int rounds = 5;
  ShimInstall install;
  if (!install.ok() || install.Load() == nullptr || install.LoadedDriver() == nullptr) {
    std::fprintf(stderr, "cannot install and load the shim with the fake driver\n");
    return 1;
  }
  HMODULE driverModule = install.LoadedDriver();
  FakeSkfDriver driver(driverModule);
  driver.SetRecording(false);

  std::printf(
      "SKF shim forwarding: %ld calls per round, best of %d rounds, driver function "
      "answering its result only\n",
      calls, rounds);
  std::printf("%-50s %10s %13s %12s %7s\n", "export", "direct ns", "forwarded ns", "overhead ns",
              "ratio");
  const auto report = [](const char* name, const Measured& m) {
    std::printf("%-50s %10.3f %13.3f %12.3f %7.3f\n", name, m.direct, m.forwarded,
                m.forwarded - m.direct, m.forwarded / m.direct);
  };

  {
    auto direct = Function<skf::PFN_SKF_CloseHandle>(driverModule, "SKF_CloseHandle");
    auto forwarded = install.Export<skf::PFN_SKF_CloseHandle>("SKF_CloseHandle");
    forwarded(nullptr);  // binds the entry
    report("SKF_CloseHandle (1 argument)", Compare(direct, forwarded, calls, rounds, [](auto fn) {
             return fn(reinterpret_cast<HANDLE>(1));
           }));
  }
  {
    auto direct = Function<skf::PFN_SKF_Transmit>(driverModule, "SKF_Transmit");
    auto forwarded = install.Export<skf::PFN_SKF_Transmit>("SKF_Transmit");
    BYTE command[8] = {}, response[8];
    ULONG length = sizeof response;
    forwarded(nullptr, command, sizeof command, response, &length);
    report("SKF_Transmit (5 arguments)", Compare(direct, forwarded, calls, rounds, [&](auto fn) {
             return fn(nullptr, command, sizeof command, response, &length);
           }));
  }
  {
    auto direct = Function<skf::PFN_SKF_GenerateAgreementDataAndKeyWithECC>(
        driverModule, "SKF_GenerateAgreementDataAndKeyWithECC");
    auto forwarded = install.Export<skf::PFN_SKF_GenerateAgreementDataAndKeyWithECC>(
        "SKF_GenerateAgreementDataAndKeyWithECC");
    ECCPUBLICKEYBLOB blob{};
    BYTE id[4] = {};
    HANDLE key = nullptr;
    const auto call = [&](auto fn) {
      return fn(nullptr, 1, &blob, &blob, &blob, id, 4, id, 4, &key);
    };
    call(forwarded);
    report("SKF_GenerateAgreementDataAndKeyWithECC (10 arg.)",
           Compare(direct, forwarded, calls, rounds, call));
  }
  {
    auto direct = Function<skf::PFN_SKF_EncryptInit>(driverModule, "SKF_EncryptInit");
    auto forwarded = install.Export<skf::PFN_SKF_EncryptInit>("SKF_EncryptInit");
    BLOCKCIPHERPARAM param{};
    const auto call = [&](auto fn) { return fn(nullptr, param); };
    call(forwarded);
    report("SKF_EncryptInit (44-byte struct by value)",
           Compare(direct, forwarded, calls, rounds, call));
  }
  std::printf(
      "goal: ratio at most 1.5 for a bound plain forwarder. A structure by value is copied\n"
      "once more for the driver, which a driver that never reads it does not pay directly.\n");
  return 0;
}
