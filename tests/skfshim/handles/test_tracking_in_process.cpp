// The tracking exports linked into the test program, where a test can fail a chosen allocation,
// look at the manager's lists and run process detach: shortage of memory still gives working
// handles, concurrent opens and closes close every driver handle exactly once, and detach
// frees every record without a driver call.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "driver_module.h"
#include "fake_skf_client.h"
#include "handle_manager.h"
#include "shim_heap.h"
#include "shim_process.h"
#include "skf_exports.h"
#include "tracking_test_support.h"

namespace tracking_test {
namespace {

using kova_shim::FailAllocationForTest;
using kova_shim::LiveAllocationsForTest;
using kova_test::FakeSkfDriver;

SkfApi InProcessApi() {
  SkfApi api;
  api.ConnectDev = &::SKF_ConnectDev;
  api.DisConnectDev = &::SKF_DisConnectDev;
  api.CreateApplication = &::SKF_CreateApplication;
  api.OpenApplication = &::SKF_OpenApplication;
  api.CloseApplication = &::SKF_CloseApplication;
  api.VerifyPIN = &::SKF_VerifyPIN;
  return api;
}

// The shim's modules with a fresh manager and the fake driver loaded by the shim's own holder.
// The test program keeps a reference of its own to the fake driver, so that the holder's bound
// entries stay valid after a detach has released it.
class InProcessTracking : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    driverPath_ = kova_test::ExeDir() + kova_test::kFakeDriverBuild;
    pinned_ = LoadLibraryA(driverPath_.c_str());
  }

  void SetUp() override {
    ASSERT_NE(nullptr, pinned_);
    driver_ = std::make_unique<FakeSkfDriver>(pinned_);
    ASSERT_TRUE(driver_->valid());
    driver_->Reset();
    ASSERT_EQ(nullptr, g_handleManager) << "a test left a manager behind";
    live_ = LiveAllocationsForTest();
    ASSERT_NE(nullptr, CHandleManager::Instance());
    if (skf::g_driverModule.Module() == nullptr) {
      ASSERT_TRUE(skf::g_driverModule.Load(driverPath_.c_str()));
    }
    ASSERT_EQ(pinned_, skf::g_driverModule.Module());
    api_ = InProcessApi();
    t_ = std::make_unique<Tracking>(api_, *driver_);
  }

  void TearDown() override {
    FailAllocationForTest(0);
    delete g_handleManager;
    g_handleManager = nullptr;
    EXPECT_EQ(live_, LiveAllocationsForTest()) << "records outlived the manager";
  }

  size_t Listed(size_t (*count)(const CHandleManager&)) const {
    CHandleManager* manager = g_handleManager;
    CNSAutoLock hold(&manager->Mutex());
    return count(*manager);
  }
  size_t AppCount() const {
    return Listed([](const CHandleManager& m) { return m.Apps().Size(); });
  }
  size_t HandleCount() const {
    return Listed([](const CHandleManager& m) { return m.Handles().Size(); });
  }
  size_t DeviceCount() const {
    return Listed([](const CHandleManager& m) { return m.Devices().Size(); });
  }

  static std::string driverPath_;
  static HMODULE pinned_;
  std::unique_ptr<FakeSkfDriver> driver_;
  SkfApi api_;
  std::unique_ptr<Tracking> t_;
  long live_ = 0;
};

std::string InProcessTracking::driverPath_;
HMODULE InProcessTracking::pinned_ = nullptr;

// With each allocation of the recording failing in turn, a successful driver open or create
// still answers 0 and hands out the driver's own handle, which works and closes in the driver;
// nothing is listed for it.
TEST_F(InProcessTracking, WithoutMemoryForRecordsTheCallerGetsTheDriversWorkingHandle) {
  struct Case {
    const char* what;
    const char* serial;
    bool create;
  };
  const Case cases[] = {{"open, tracked device", "59", false},
                        {"create, tracked device", "59", true},
                        {"open, untracked device", "77", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const DEVHANDLE dev = t_->Connect(c.serial);
    const size_t apps = AppCount(), handles = HandleCount();
    int fallbacks = 0;
    for (long nth = 1;; ++nth) {
      ASSERT_LT(nth, 30) << "the recording never succeeded";
      FailAllocationForTest(nth);
      const HAPPLICATION app = c.create ? t_->Create(dev, "A") : t_->Open(dev, "A");
      FailAllocationForTest(0);
      const HANDLE d = t_->LastDriverApp();
      EXPECT_EQ(d, t_->DriverSees(app));
      if (app != d) {  // no allocation failed: a shim handle, listed
        EXPECT_EQ(apps + 1, AppCount());
        EXPECT_EQ(SAR_OK, api_.CloseApplication(app));
        EXPECT_EQ(1u, driver_->AppHandleCloses(d));
        break;
      }
      ++fallbacks;
      EXPECT_EQ(apps, AppCount()) << "allocation " << nth << " failed, yet a record stayed";
      EXPECT_EQ(handles, HandleCount());
      EXPECT_EQ(SAR_OK, api_.CloseApplication(app));
      EXPECT_EQ(1u, driver_->AppHandleCloses(d)) << "the driver's handle closes in the driver";
    }
    EXPECT_GE(fallbacks, 4) << "name copy, record, its count and its list entry can each fail";
    EXPECT_EQ(apps, AppCount());
    EXPECT_EQ(handles, HandleCount());
  }
}

TEST_F(InProcessTracking, WithoutMemoryToShareAnOpenReachesTheDriver) {
  const DEVHANDLE dev = t_->Connect("59");
  const HAPPLICATION first = t_->Open(dev, "A");
  const HANDLE d = t_->LastDriverApp();
  FailAllocationForTest(1);  // the shared handle's record
  const HAPPLICATION second = t_->Open(dev, "A");
  FailAllocationForTest(0);
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  const HANDLE d2 = t_->LastDriverApp();
  EXPECT_NE(d, d2);
  EXPECT_EQ(d, t_->DriverSees(first));
  EXPECT_EQ(d2, t_->DriverSees(second));
}

TEST_F(InProcessTracking, WithoutMemoryToListTheDeviceItStaysUntracked) {
  FailAllocationForTest(1);  // the first entry of the device list
  const DEVHANDLE dev = t_->Connect("59");
  FailAllocationForTest(0);
  EXPECT_EQ(0u, DeviceCount());
  t_->Open(dev, "A");
  t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
}

// Threads that open, use and close one application on one tracked device (and threads doing
// the same on untracked devices of their own). Afterwards: every call succeeded, every use
// reached a driver handle that was open, every driver handle was closed exactly once, and no
// record is left.
void RunOpenUseCloseThreads(const SkfApi& api, const Tracking& t, const FakeSkfDriver& driver,
                            int sharedThreads, int ownThreads, int rounds) {
  const DEVHANDLE shared = t.Connect("59");
  std::vector<DEVHANDLE> own;
  for (int i = 0; i < ownThreads; ++i) own.push_back(t.Connect("60"));
  driver.SetRecording(false);
  std::atomic<int> failures{0};
  HANDLE start = CreateEventA(nullptr, /*bManualReset=*/TRUE, /*bInitialState=*/FALSE, nullptr);
  std::vector<std::thread> threads;
  for (int i = 0; i < sharedThreads + ownThreads; ++i) {
    const DEVHANDLE dev = i < sharedThreads ? shared : own[i - sharedThreads];
    threads.emplace_back([&, dev] {
      WaitForSingleObject(start, INFINITE);
      char name[] = "App", pin[] = "123456";
      for (int r = 0; r < rounds; ++r) {
        HAPPLICATION app = nullptr;
        ULONG retry = 0;
        if (api.OpenApplication(dev, name, &app) != SAR_OK) ++failures;
        if (api.VerifyPIN(app, 1, pin, &retry) != SAR_OK) ++failures;
        if (api.CloseApplication(app) != SAR_OK) ++failures;
      }
    });
  }
  Sleep(50);
  SetEvent(start);
  for (std::thread& thread : threads) thread.join();
  CloseHandle(start);
  driver.SetRecording(true);

  EXPECT_EQ(0, failures.load());
  const FakeSkfAppStats stats = driver.AppStats();
  EXPECT_GE(stats.issued, static_cast<ULONG>(ownThreads * rounds) + 1);
  EXPECT_EQ(stats.issued, stats.closes);
  EXPECT_EQ(0u, stats.repeatedCloses) << "a driver handle was closed twice";
  EXPECT_EQ(0u, stats.usesAfterClose) << "a shim handle reached a driver handle already closed";
  EXPECT_EQ(0u, stats.foreignUses) << "a use reached the driver untranslated";
  EXPECT_EQ(0u, stats.foreignCloses);
  ULONG notClosedOnce = 0;
  for (ULONG i = 0; i < stats.issued; ++i) {
    const HANDLE d = reinterpret_cast<HANDLE>(stats.lastIssued - 16ull * i);
    notClosedOnce += driver.AppHandleCloses(d) != 1;
  }
  EXPECT_EQ(0u, notClosedOnce) << "of " << stats.issued << " driver handles";
}

TEST_F(InProcessTracking, ConcurrentOpensUsesAndClosesLeaveNothingBehind) {
  RunOpenUseCloseThreads(api_, *t_, *driver_, /*sharedThreads=*/8, /*ownThreads=*/3,
                         /*rounds=*/400);
  EXPECT_EQ(0u, AppCount());
  EXPECT_EQ(0u, HandleCount());
  EXPECT_EQ(1u, DeviceCount()) << "the tracked device stays listed until it disconnects";
}

// The driver's close takes a while here, which widens the window between the driver being asked
// to close an application and the close returning: an open on the tracked device must never
// share the handle being closed.
TEST_F(InProcessTracking, OpenDuringTheLastCloseNeverSharesTheClosingDriverHandle) {
  driver_->SetCloseDelay(2);
  RunOpenUseCloseThreads(api_, *t_, *driver_, /*sharedThreads=*/8, /*ownThreads=*/0, /*rounds=*/60);
  EXPECT_EQ(0u, AppCount());
  EXPECT_EQ(0u, HandleCount());
}

TEST_F(InProcessTracking, DetachFreesEveryRecordAndCallsNoDriverFunction) {
  const DEVHANDLE tracked = t_->Connect("59");
  const DEVHANDLE untracked = t_->Connect("88");
  t_->Open(tracked, "A");
  t_->Open(tracked, "A");
  t_->Create(tracked, "B");
  t_->Open(untracked, "A");
  ASSERT_EQ(3u, AppCount());
  ASSERT_EQ(4u, HandleCount());
  const ULONG calls = driver_->CallCount();
  skf::OnProcessDetach();
  EXPECT_EQ(nullptr, g_handleManager);
  EXPECT_EQ(live_, LiveAllocationsForTest());
  EXPECT_EQ(calls, driver_->CallCount());
  EXPECT_EQ(0u, driver_->AppStats().closes);
}

}  // namespace
}  // namespace tracking_test
