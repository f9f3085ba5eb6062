// The handle manager's operations on its lists: device listing, application records and their
// use counts, shim handles and their translation, removal, allocation failure and destruction.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "handle_manager.h"

namespace {

using kova_shim::FailAllocationForTest;
using kova_shim::LiveAllocationsForTest;

DEVHANDLE Dev(std::uintptr_t n) { return reinterpret_cast<DEVHANDLE>(0xD000 + n); }
HAPPLICATION DrvApp(std::uintptr_t n) { return reinterpret_cast<HAPPLICATION>(0xA000 + n); }

class HandleManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    live_ = LiveAllocationsForTest();
    mgr_.reset(new (std::nothrow) CHandleManager());
    ASSERT_TRUE(mgr_);
  }
  void TearDown() override {
    FailAllocationForTest(0);
    mgr_.reset();
    EXPECT_EQ(live_, LiveAllocationsForTest()) << "records or lists leaked";
  }

  // Opens an application record with one shim handle, as a successful driver open does.
  HAPPLICATION Open(DEVHANDLE dev, const char* name, HAPPLICATION drv) {
    HAPPLICATION h = nullptr;
    EXPECT_TRUE(mgr_->RecordApp(dev, name, drv, &h));
    return h;
  }
  // Another shim handle for the listed record of (dev, name).
  HAPPLICATION Share(DEVHANDLE dev, const char* name) {
    AppRef ref;
    EXPECT_TRUE(mgr_->FindApp(dev, name, ref));
    HAPPLICATION h = nullptr;
    EXPECT_TRUE(mgr_->AddAppHandle(ref, &h));
    return h;
  }

  std::vector<DEVHANDLE> Devices() {
    CNSAutoLock hold(&mgr_->Mutex());
    std::vector<DEVHANDLE> out;
    for (std::size_t i = 0; i < mgr_->Devices().Size(); ++i) out.push_back(mgr_->Devices()[i]);
    return out;
  }
  std::vector<HAPPLICATION> AppDriverHandles() {
    CNSAutoLock hold(&mgr_->Mutex());
    std::vector<HAPPLICATION> out;
    for (std::size_t i = 0; i < mgr_->Apps().Size(); ++i)
      out.push_back(mgr_->Apps()[i]->hDriverApp);
    return out;
  }
  std::vector<HAPPLICATION> ShimHandles() {
    CNSAutoLock hold(&mgr_->Mutex());
    std::vector<HAPPLICATION> out;
    for (std::size_t i = 0; i < mgr_->Handles().Size(); ++i)
      out.push_back(mgr_->Handles()[i]->hApp);
    return out;
  }

  long live_ = 0;
  std::unique_ptr<CHandleManager> mgr_;
};

TEST_F(HandleManagerTest, DevicesAreListedInOrderWithDuplicates) {
  EXPECT_FALSE(mgr_->HasDevice(Dev(1)));
  EXPECT_TRUE(mgr_->AddDevice(Dev(1)));
  EXPECT_TRUE(mgr_->AddDevice(Dev(2)));
  EXPECT_TRUE(mgr_->AddDevice(Dev(1)));
  EXPECT_EQ((std::vector<DEVHANDLE>{Dev(1), Dev(2), Dev(1)}), Devices());
  EXPECT_TRUE(mgr_->HasDevice(Dev(1)));
  EXPECT_TRUE(mgr_->HasDevice(Dev(2)));
  EXPECT_FALSE(mgr_->HasDevice(Dev(3)));
  EXPECT_FALSE(mgr_->HasDevice(nullptr));
}

TEST_F(HandleManagerTest, RemoveDeviceDropsOneListingButEveryRecordOfTheDevice) {
  mgr_->AddDevice(Dev(1));
  mgr_->AddDevice(Dev(2));
  mgr_->AddDevice(Dev(1));
  HAPPLICATION a1 = Open(Dev(1), "A", DrvApp(1));
  HAPPLICATION b1 = Open(Dev(2), "B", DrvApp(2));
  HAPPLICATION a2 = Share(Dev(1), "A");
  HAPPLICATION c1 = Open(Dev(1), "C", DrvApp(3));
  HAPPLICATION b2 = Share(Dev(2), "B");
  AppRef recordA;
  ASSERT_TRUE(mgr_->FindApp(Dev(1), "A", recordA));
  EXPECT_EQ(3, recordA->useCount);

  EXPECT_EQ(0u, mgr_->RemoveDevice(Dev(1)));

  EXPECT_EQ((std::vector<DEVHANDLE>{Dev(2), Dev(1)}), Devices());
  EXPECT_TRUE(mgr_->HasDevice(Dev(1)));
  EXPECT_EQ((std::vector<HAPPLICATION>{DrvApp(2)}), AppDriverHandles());
  EXPECT_EQ((std::vector<HAPPLICATION>{b1, b2}), ShimHandles());
  EXPECT_EQ(0, recordA->useCount) << "two handles and the listing were each one count";
  AppRef ignored;
  EXPECT_FALSE(mgr_->FindApp(Dev(1), "A", ignored));
  for (HAPPLICATION gone : {a1, a2, c1}) EXPECT_EQ(gone, mgr_->GetDriverAppHandle(gone));
  EXPECT_EQ(DrvApp(2), mgr_->GetDriverAppHandle(b1));
  EXPECT_EQ(DrvApp(2), mgr_->GetDriverAppHandle(b2));

  EXPECT_EQ(0u, mgr_->RemoveDevice(Dev(1)));
  EXPECT_FALSE(mgr_->HasDevice(Dev(1)));
  EXPECT_EQ(0u, mgr_->RemoveDevice(Dev(9)));  // never listed: nothing changes
  EXPECT_EQ((std::vector<DEVHANDLE>{Dev(2)}), Devices());
  EXPECT_EQ(2u, ShimHandles().size());
}

TEST_F(HandleManagerTest, UseCountIsOnePlusTheShimHandles) {
  AppRef ref;
  ASSERT_TRUE(mgr_->AddApp(Dev(1), "A", DrvApp(1), ref));
  EXPECT_EQ(1, ref->useCount);
  EXPECT_STREQ("A", ref->appName);
  EXPECT_EQ(Dev(1), ref->hDev);
  HAPPLICATION h1 = nullptr, h2 = nullptr;
  ASSERT_TRUE(mgr_->AddAppHandle(ref, &h1));
  EXPECT_EQ(2, ref->useCount);
  ASSERT_TRUE(mgr_->AddAppHandle(ref, &h2));
  EXPECT_EQ(3, ref->useCount);
  EXPECT_NE(h1, h2);
  EXPECT_NE(DrvApp(1), h1);
  EXPECT_EQ(DrvApp(1), mgr_->GetDriverAppHandle(h1));
  EXPECT_EQ(DrvApp(1), mgr_->GetDriverAppHandle(h2));

  HAPPLICATION out = nullptr;
  LONG count = -7;
  ASSERT_TRUE(mgr_->RemoveApp(true, h1, &out, &count));
  EXPECT_EQ(DrvApp(1), out);
  EXPECT_EQ(2, count);
  EXPECT_EQ((std::vector<HAPPLICATION>{h2}), ShimHandles());
  EXPECT_EQ(h1, mgr_->GetDriverAppHandle(h1)) << "a removed handle no longer translates";
}

TEST_F(HandleManagerTest, RemoveByDriverHandleUnlistsTheFirstMatchWhateverItsCount) {
  HAPPLICATION first = Open(Dev(1), "A", DrvApp(7));
  Open(Dev(2), "B", DrvApp(7));  // a second record that shares the driver value
  Open(Dev(3), "C", DrvApp(8));
  HAPPLICATION out = nullptr;
  LONG count = 0;
  ASSERT_TRUE(mgr_->RemoveApp(false, DrvApp(7), &out, &count));
  EXPECT_EQ(DrvApp(7), out);
  EXPECT_EQ(1, count) << "listing and one handle made 2; unlisting takes one";
  EXPECT_EQ((std::vector<HAPPLICATION>{DrvApp(7), DrvApp(8)}), AppDriverHandles());
  AppRef ref;
  EXPECT_FALSE(mgr_->FindApp(Dev(1), "A", ref));
  EXPECT_TRUE(mgr_->FindApp(Dev(2), "B", ref));
  // The shim handle of the unlisted record stays listed and still translates.
  EXPECT_EQ(3u, ShimHandles().size());
  EXPECT_EQ(DrvApp(7), mgr_->GetDriverAppHandle(first));
}

TEST_F(HandleManagerTest, RemoveThatFindsNothingLeavesItsOutputsUntouched) {
  HAPPLICATION h = Open(Dev(1), "A", DrvApp(1));
  struct Case {
    bool byShimHandle;
    HAPPLICATION handle;
  };
  const Case cases[] = {
      {true, DrvApp(1)},  // a driver handle is no shim handle
      {true, reinterpret_cast<HAPPLICATION>(0x1234)},
      {true, nullptr},
      {false, h},  // a shim handle is no driver handle
      {false, DrvApp(2)},
      {false, nullptr},
  };
  for (const Case& c : cases) {
    HAPPLICATION out = reinterpret_cast<HAPPLICATION>(0x5555);
    LONG count = 4242;
    EXPECT_FALSE(mgr_->RemoveApp(c.byShimHandle, c.handle, &out, &count)) << c.handle;
    EXPECT_EQ(reinterpret_cast<HAPPLICATION>(0x5555), out);
    EXPECT_EQ(4242, count);
  }
  EXPECT_EQ((std::vector<HAPPLICATION>{h}), ShimHandles());
  EXPECT_EQ(1u, AppDriverHandles().size());
}

TEST_F(HandleManagerTest, FindAppYieldsTheLastMatchOfTheDeviceWithTheExactName) {
  Open(Dev(1), "App", DrvApp(1));
  Open(Dev(1), "App", DrvApp(2));
  Open(Dev(2), "App", DrvApp(3));
  Open(Dev(1), "app", DrvApp(4));
  Open(Dev(1), "Application", DrvApp(5));
  struct Case {
    DEVHANDLE dev;
    const char* name;
    HAPPLICATION expected;  // null: no match
  };
  const Case cases[] = {
      {Dev(1), "App", DrvApp(2)},         {Dev(2), "App", DrvApp(3)}, {Dev(1), "app", DrvApp(4)},
      {Dev(1), "APP", nullptr},           {Dev(1), "Ap", nullptr},    {Dev(1), "App ", nullptr},
      {Dev(3), "App", nullptr},           {Dev(1), "", nullptr},      {Dev(1), nullptr, nullptr},
      {Dev(1), "Application", DrvApp(5)},
  };
  for (const Case& c : cases) {
    AppRef sentinel;
    ASSERT_TRUE(mgr_->AddApp(Dev(99), "sentinel", DrvApp(99), sentinel));
    AppRef ref = sentinel;
    const bool found = mgr_->FindApp(c.dev, c.name, ref);
    EXPECT_EQ(c.expected != nullptr, found) << (c.name ? c.name : "(null)");
    EXPECT_EQ(c.expected ? c.expected : DrvApp(99), ref->hDriverApp)
        << (c.name ? c.name : "(null)") << ": a miss must leave ref as it was";
  }
}

TEST_F(HandleManagerTest, TranslationPassesUnknownValuesThrough) {
  HAPPLICATION h = Open(Dev(1), "A", DrvApp(1));
  for (HAPPLICATION v :
       {static_cast<HAPPLICATION>(nullptr), DrvApp(1), reinterpret_cast<HAPPLICATION>(1),
        reinterpret_cast<HAPPLICATION>(~std::uintptr_t{0}),
        static_cast<HAPPLICATION>(static_cast<char*>(h) + 8)}) {
    EXPECT_EQ(v, mgr_->GetDriverAppHandle(v));
  }
  EXPECT_EQ(DrvApp(1), mgr_->GetDriverAppHandle(h));
}

TEST_F(HandleManagerTest, ManyHandlesKeepOrderAndTranslateUntilRemoved) {
  // Enough handles to grow the lists and the index several times; removal in random order.
  const int kApps = 50, kPerApp = 40;
  std::vector<HAPPLICATION> issued;
  std::vector<HAPPLICATION> driverOf;
  for (int a = 0; a < kApps; ++a) {
    char name[16];
    wsprintfA(name, "app%d", a);
    issued.push_back(Open(Dev(1), name, DrvApp(a)));
    driverOf.push_back(DrvApp(a));
    for (int i = 1; i < kPerApp; ++i) {
      issued.push_back(Share(Dev(1), name));
      driverOf.push_back(DrvApp(a));
    }
  }
  EXPECT_EQ(issued, ShimHandles());
  std::vector<std::size_t> order(issued.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::shuffle(order.begin(), order.end(), std::mt19937(7));
  std::vector<bool> removed(issued.size(), false);
  for (std::size_t step = 0; step < order.size(); ++step) {
    const std::size_t k = order[step];
    HAPPLICATION out = nullptr;
    LONG count = 0;
    ASSERT_TRUE(mgr_->RemoveApp(true, issued[k], &out, &count));
    ASSERT_EQ(driverOf[k], out);
    removed[k] = true;
    if (step % 97 == 0) {
      std::vector<HAPPLICATION> expected;
      for (std::size_t i = 0; i < issued.size(); ++i) {
        if (!removed[i]) expected.push_back(issued[i]);
        ASSERT_EQ(removed[i] ? issued[i] : driverOf[i], mgr_->GetDriverAppHandle(issued[i]));
      }
      ASSERT_EQ(expected, ShimHandles());
    }
  }
  EXPECT_TRUE(ShimHandles().empty());
  // Every record is left with its listing's count alone.
  CNSAutoLock hold(&mgr_->Mutex());
  for (std::size_t i = 0; i < mgr_->Apps().Size(); ++i) EXPECT_EQ(1, mgr_->Apps()[i]->useCount);
}

TEST_F(HandleManagerTest, ReleasingTheLastSharedHandleUnlistsItsRecordAtOnce) {
  HAPPLICATION h1 = Open(Dev(1), "A", DrvApp(1));
  HAPPLICATION h2 = Share(Dev(1), "A");
  HAPPLICATION other = Open(Dev(1), "A", DrvApp(2));  // a later record of the same name
  HAPPLICATION out = nullptr;
  LONG count = 0;
  ASSERT_TRUE(mgr_->ReleaseAppHandle(h1, &out, &count));
  EXPECT_EQ(DrvApp(1), out);
  EXPECT_EQ(2, count);
  EXPECT_EQ((std::vector<HAPPLICATION>{DrvApp(1), DrvApp(2)}), AppDriverHandles());

  ASSERT_TRUE(mgr_->ReleaseAppHandle(h2, &out, &count));
  EXPECT_EQ(DrvApp(1), out);
  EXPECT_EQ(1, count);
  EXPECT_EQ((std::vector<HAPPLICATION>{DrvApp(2)}), AppDriverHandles())
      << "the very record of the released handle leaves, not another one";
  EXPECT_EQ((std::vector<HAPPLICATION>{other}), ShimHandles());

  out = reinterpret_cast<HAPPLICATION>(0x77);
  count = 77;
  EXPECT_FALSE(mgr_->ReleaseAppHandle(h2, &out, &count));
  EXPECT_FALSE(mgr_->ReleaseAppHandle(DrvApp(2), &out, &count));
  EXPECT_EQ(reinterpret_cast<HAPPLICATION>(0x77), out);
  EXPECT_EQ(77, count);
}

TEST_F(HandleManagerTest, NullOutputsAndNullHandleVariableAreRefused) {
  AppRef ref;
  ASSERT_TRUE(mgr_->AddApp(Dev(1), nullptr, DrvApp(1), ref));  // a nameless record is kept
  EXPECT_EQ(nullptr, ref->appName);
  EXPECT_FALSE(mgr_->AddAppHandle(ref, nullptr));
  EXPECT_FALSE(mgr_->AddAppHandle(AppRef(), nullptr));
  HAPPLICATION h = reinterpret_cast<HAPPLICATION>(0x99);
  EXPECT_FALSE(mgr_->AddAppHandle(AppRef(), &h));
  EXPECT_EQ(reinterpret_cast<HAPPLICATION>(0x99), h);
  EXPECT_EQ(1, ref->useCount);
  EXPECT_FALSE(mgr_->RecordApp(Dev(1), "B", DrvApp(2), nullptr));
  EXPECT_EQ((std::vector<HAPPLICATION>{DrvApp(1)}), AppDriverHandles());
  ASSERT_TRUE(mgr_->AddAppHandle(ref, &h));
  EXPECT_TRUE(mgr_->RemoveApp(true, h, nullptr, nullptr));
  EXPECT_EQ(1, ref->useCount);
}

// Each operation that needs memory, with every one of its allocations failing in turn: a failure
// reports false and changes nothing; once no allocation fails, the operation succeeds.
TEST_F(HandleManagerTest, AllocationFailureAnywhereChangesNothing) {
  // Fill the lists and the index to the brink of growth (8 entries each).
  for (int i = 0; i < 8; ++i) mgr_->AddDevice(Dev(i));
  for (int i = 0; i < 7; ++i) Open(Dev(0), "pre", DrvApp(100 + i));
  AppRef pre;
  ASSERT_TRUE(mgr_->FindApp(Dev(0), "pre", pre));
  Share(Dev(0), "pre");
  ASSERT_EQ(8u, ShimHandles().size());
  ASSERT_EQ(7u, AppDriverHandles().size());
  AppRef pre8;
  ASSERT_TRUE(mgr_->AddApp(Dev(0), "pre8", DrvApp(107), pre8));
  ASSERT_EQ(8u, AppDriverHandles().size());
  const HAPPLICATION kUntouched = reinterpret_cast<HAPPLICATION>(0xBAD);

  struct Op {
    const char* name;
    bool (*run)(CHandleManager&, AppRef& pre, HAPPLICATION* h);
  };
  const Op ops[] = {
      {"AddDevice", [](CHandleManager& m, AppRef&, HAPPLICATION*) { return m.AddDevice(Dev(50)); }},
      {"AddApp",
       [](CHandleManager& m, AppRef&, HAPPLICATION*) {
         AppRef r;
         return m.AddApp(Dev(0), "added", DrvApp(50), r);
       }},
      {"AddAppHandle",
       [](CHandleManager& m, AppRef& p, HAPPLICATION* h) { return m.AddAppHandle(p, h); }},
      {"RecordApp", [](CHandleManager& m, AppRef&,
                       HAPPLICATION* h) { return m.RecordApp(Dev(0), "rec", DrvApp(51), h); }},
  };
  for (const Op& op : ops) {
    bool succeeded = false;
    for (long nth = 1; nth < 20 && !succeeded; ++nth) {
      const auto devices = Devices();
      const auto apps = AppDriverHandles();
      const auto handles = ShimHandles();
      const LONG preCount = pre->useCount;
      const long live = LiveAllocationsForTest();
      HAPPLICATION h = kUntouched;
      FailAllocationForTest(nth);
      succeeded = op.run(*mgr_, pre, &h);
      FailAllocationForTest(0);
      if (succeeded) break;
      SCOPED_TRACE(std::string(op.name) + " failing allocation " + std::to_string(nth));
      EXPECT_EQ(devices, Devices());
      EXPECT_EQ(apps, AppDriverHandles());
      EXPECT_EQ(handles, ShimHandles());
      EXPECT_EQ(preCount, pre->useCount);
      EXPECT_EQ(kUntouched, h);
      EXPECT_EQ(live, LiveAllocationsForTest());
    }
    EXPECT_TRUE(succeeded) << op.name;
  }
  EXPECT_EQ(9u, Devices().size());
  EXPECT_EQ(10u, AppDriverHandles().size());  // 8 + "added" + "rec"
  EXPECT_EQ(10u, ShimHandles().size());       // 8 + AddAppHandle + RecordApp
}

TEST_F(HandleManagerTest, DestroyingTheManagerFreesEveryRecord) {
  const long before = LiveAllocationsForTest();
  {
    CHandleManager local;
    local.AddDevice(Dev(1));
    HAPPLICATION h = nullptr;
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(local.RecordApp(Dev(1), "A", DrvApp(i), &h));
    AppRef ref;
    ASSERT_TRUE(local.FindApp(Dev(1), "A", ref));
    for (int i = 0; i < 30; ++i) ASSERT_TRUE(local.AddAppHandle(ref, &h));
    EXPECT_GT(LiveAllocationsForTest(), before);
  }
  EXPECT_EQ(before, LiveAllocationsForTest());
}

TEST(HandleManagerInstance, CreatesOnceAndOnlyWhenMissing) {
  ASSERT_EQ(nullptr, g_handleManager) << "no other test may leave a manager behind";
  const long live = LiveAllocationsForTest();
  FailAllocationForTest(1);
  EXPECT_EQ(nullptr, CHandleManager::Instance()) << "no memory: no manager";
  EXPECT_EQ(nullptr, g_handleManager);
  CHandleManager* made = CHandleManager::Instance();
  ASSERT_NE(nullptr, made);
  EXPECT_EQ(made, g_handleManager);
  EXPECT_EQ(made, CHandleManager::Instance());
  delete g_handleManager;
  g_handleManager = nullptr;
  EXPECT_EQ(live, LiveAllocationsForTest());
}

}  // namespace
