// Concurrent first calls: threads released together into exports none of them has called yet
// all reach the driver with their own arguments and get the driver's result (no thread sees
// an entry half bound).
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "export_cases.h"
#include "fake_skf_client.h"

namespace shim_test {
namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;

TEST(ShimConcurrency, ConcurrentFirstCallsAllGetTheDriversResult) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 5;  // each round loads a fresh shim, so every entry starts unbound
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ShimInstall install;
    ASSERT_TRUE(install.ok());
    ASSERT_NE(nullptr, install.Load());
    FakeSkfDriver driver(install.LoadedDriver());
    ASSERT_TRUE(driver.valid());
    std::vector<void*> functions;
    for (const ExportCase& c : kExportCases) {
      ASSERT_TRUE(driver.SetResult(c.name, DistinctResult(c.entry)));
      functions.push_back(reinterpret_cast<void*>(GetProcAddress(install.shim(), c.name)));
      ASSERT_NE(nullptr, functions.back()) << c.name;
    }

    HANDLE start = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
    ASSERT_NE(nullptr, start);
    std::atomic<int> wrongResults{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        WaitForSingleObject(start, INFINITE);
        // Every thread walks the exports from a different starting point, and pairs of threads
        // from the same one, so that first calls of each entry collide.
        const size_t count = std::size(kExportCases);
        for (size_t i = 0; i < count; ++i) {
          const ExportCase& c = kExportCases[(i + (t / 2) * 11) % count];
          if (c.callWithSentinels(functions[c.entry], c.entry) != DistinctResult(c.entry))
            ++wrongResults;
        }
      });
    }
    Sleep(50);  // let every thread reach the wait
    SetEvent(start);
    for (std::thread& thread : threads) thread.join();
    CloseHandle(start);

    EXPECT_EQ(0, wrongResults.load());
    const auto calls = driver.Calls();
    ASSERT_EQ(static_cast<size_t>(kThreads) * std::size(kExportCases), calls.size());
    std::vector<int> perEntry(skf::ENTRY_COUNT, 0);
    for (const FakeSkfCall& call : calls) {
      ASSERT_LT(call.entry, static_cast<ULONG>(skf::ENTRY_COUNT));
      ++perEntry[call.entry];
      EXPECT_TRUE(kExportCases[call.entry].matchesSentinels(call, call.entry))
          << skf::kEntryNames[call.entry];
    }
    for (unsigned e = 0; e < skf::ENTRY_COUNT; ++e)
      EXPECT_EQ(kThreads, perEntry[e]) << skf::kEntryNames[e];
  }
}

}  // namespace
}  // namespace shim_test
