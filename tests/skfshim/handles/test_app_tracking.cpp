// Device and application tracking through the real shim DLL with the fake driver beside it:
// shim handles for callers, sharing of one driver handle on devices whose serial number begins
// with "59", translation by the fifteen application-handle exports, and disconnect.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>

#include "export_cases.h"
#include "fake_skf_client.h"
#include "tracking_test_support.h"

namespace tracking_test {
namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;
using kova_test::ShimInstallOptions;

constexpr ULONG SAR_FAIL = 0x0A000001;

// A fresh shim (so fresh records) with a chosen fake driver beside it.
class ShimTracking : public testing::Test {
 protected:
  void Install(const std::string& driverBuild = kova_test::kFakeDriverBuild) {
    install_ = std::make_unique<ShimInstall>(ShimInstallOptions(driverBuild));
    ASSERT_TRUE(install_->ok());
    ASSERT_NE(nullptr, install_->Load());
    driver_ = std::make_unique<FakeSkfDriver>(install_->LoadedDriver());
    ASSERT_TRUE(driver_->valid()) << "the fake driver was not loaded beside the shim";
    api_ = SkfApi::FromShim(*install_);
    ASSERT_TRUE(api_.complete());
    t_ = std::make_unique<Tracking>(api_, *driver_);
  }
  void SetUp() override { Install(); }

  std::unique_ptr<ShimInstall> install_;
  std::unique_ptr<FakeSkfDriver> driver_;
  SkfApi api_;
  std::unique_ptr<Tracking> t_;
};

TEST_F(ShimTracking, WorkedSequenceSharesOneDriverHandleUntilTheLastClose) {
  const DEVHANDLE dev = t_->Connect("59000001");
  // 1. The first open reaches the driver, which hands out D; the caller gets H1.
  const HAPPLICATION h1 = t_->Open(dev, "A");
  const HANDLE d = t_->LastDriverApp();
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_NE(d, h1);
  // 2. The second open is answered by the shim alone, with another handle.
  const HAPPLICATION h2 = t_->Open(dev, "A");
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_OpenApplication)) << "the driver is asked once";
  EXPECT_NE(h1, h2);
  EXPECT_NE(d, h2);
  // 3. Both handles reach the driver as D.
  EXPECT_EQ(d, t_->DriverSees(h2));
  EXPECT_EQ(d, t_->DriverSees(h1));
  // 4. Closing H1 asks nothing.
  EXPECT_EQ(SAR_OK, api_.CloseApplication(h1));
  EXPECT_EQ(0u, t_->Count(skf::ENTRY_SKF_CloseApplication));
  EXPECT_EQ(d, t_->DriverSees(h2));
  EXPECT_EQ(h1, t_->DriverSees(h1)) << "a closed handle is no longer translated";
  // 5. Closing H2 closes D in the driver and returns the driver's answer.
  ASSERT_TRUE(driver_->SetResult("SKF_CloseApplication", 0x0A00002E));
  EXPECT_EQ(0x0A00002Eu, api_.CloseApplication(h2));
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_CloseApplication));
  EXPECT_EQ(d, t_->LastFirstArg(skf::ENTRY_SKF_CloseApplication));
  EXPECT_EQ(1u, driver_->AppHandleCloses(d));
  // The record is gone even though the driver reported a failure: the next open asks again.
  t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
}

TEST_F(ShimTracking, OnlySerialNumbersBeginningWith59AreTracked) {
  const std::string full(std::string("59") + std::string(30, '7'));  // all 32 bytes, no zero
  struct Case {
    std::string serial;
    bool tracked;
  };
  const Case cases[] = {{"59", true},   {"5912345678", true}, {full, true}, {"95123456", false},
                        {"X59", false}, {"5", false},         {"", false},  {" 59", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE("serial \"" + c.serial + "\"");
    driver_->Reset();
    const DEVHANDLE dev = t_->Connect(c.serial.c_str());
    ASSERT_EQ(1u, t_->Count(skf::ENTRY_SKF_GetDevInfo));
    EXPECT_EQ(dev, t_->LastFirstArg(skf::ENTRY_SKF_GetDevInfo)) << "asked about the new device";
    const HAPPLICATION first = t_->Open(dev, "App");
    const HAPPLICATION second = t_->Open(dev, "App");
    EXPECT_NE(first, second);
    EXPECT_EQ(c.tracked ? 1u : 2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
    EXPECT_EQ(c.tracked, t_->DriverSees(first) == t_->DriverSees(second));
  }
}

TEST_F(ShimTracking, NamesDifferingInLetterCaseOpenSeparately) {
  const DEVHANDLE dev = t_->Connect("59");
  std::set<HANDLE> driverHandles;
  for (const char* name : {"App", "APP", "app"})
    driverHandles.insert(t_->DriverSees(t_->Open(dev, name)));
  EXPECT_EQ(3u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_EQ(3u, driverHandles.size());
  const HANDLE upper = t_->DriverSees(t_->Open(dev, "APP"));
  EXPECT_EQ(3u, t_->Count(skf::ENTRY_SKF_OpenApplication)) << "an exact name is shared";
  EXPECT_EQ(1u, driverHandles.count(upper));
}

TEST_F(ShimTracking, UntrackedDevicesAlwaysReachTheDriverAndCloseEachHandle) {
  const DEVHANDLE dev = t_->Connect("12345678");
  const HAPPLICATION h1 = t_->Open(dev, "A");
  const HANDLE d1 = t_->LastDriverApp();
  const HAPPLICATION h2 = t_->Open(dev, "A");
  const HANDLE d2 = t_->LastDriverApp();
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_NE(d1, d2);
  EXPECT_EQ(d1, t_->DriverSees(h1));
  EXPECT_EQ(d2, t_->DriverSees(h2));
  EXPECT_EQ(SAR_OK, api_.CloseApplication(h1));
  EXPECT_EQ(1u, driver_->AppHandleCloses(d1));
  EXPECT_EQ(0u, driver_->AppHandleCloses(d2));
  EXPECT_EQ(SAR_OK, api_.CloseApplication(h2));
  EXPECT_EQ(1u, driver_->AppHandleCloses(d2));
  EXPECT_EQ(0u, driver_->AppStats().foreignCloses);
}

TEST_F(ShimTracking, CreateApplicationReturnsAShimHandleOnEveryDevice) {
  for (const char* serial : {"59AA", "AA59"}) {
    SCOPED_TRACE(serial);
    driver_->Reset();
    const DEVHANDLE dev = t_->Connect(serial);
    const HAPPLICATION created = t_->Create(dev, "New");
    const HANDLE d = t_->LastDriverApp();
    ASSERT_NE(nullptr, d);
    EXPECT_NE(d, created) << "the caller must never hold the driver's handle";
    EXPECT_EQ(d, t_->DriverSees(created));
    // An open of the created application shares it on a tracked device only.
    const HAPPLICATION opened = t_->Open(dev, "New");
    EXPECT_EQ(serial[0] == '5' ? 0u : 1u, t_->Count(skf::ENTRY_SKF_OpenApplication));
    EXPECT_EQ(serial[0] == '5', t_->DriverSees(opened) == d);
  }
}

TEST_F(ShimTracking, DriverFailuresOfCreateAndOpenRecordNothing) {
  const DEVHANDLE dev = t_->Connect("59");
  const HAPPLICATION untouched = reinterpret_cast<HAPPLICATION>(0x5EED);
  char name[] = "A", admin[] = "a", user[] = "u";
  ASSERT_TRUE(driver_->SetResult("SKF_CreateApplication", 0x0A00002C));
  HAPPLICATION app = untouched;
  EXPECT_EQ(0x0A00002Cu, api_.CreateApplication(dev, name, admin, 3, user, 3, 0xFF, &app));
  EXPECT_EQ(untouched, app);
  ASSERT_TRUE(driver_->SetResult("SKF_OpenApplication", 0x0A00002E));
  EXPECT_EQ(0x0A00002Eu, api_.OpenApplication(dev, name, &app));
  EXPECT_EQ(untouched, app);
  ASSERT_TRUE(driver_->SetResult("SKF_OpenApplication", SAR_OK));
  t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication)) << "no record was left to share";
}

TEST_F(ShimTracking, CloseWithoutTheDriversCloseAnswersUnsupportedAndStillForgets) {
  Install(kova_test::kFakeDriverWithoutCloseApplicationBuild);
  const DEVHANDLE dev = t_->Connect("59");
  const HAPPLICATION h1 = t_->Open(dev, "A");
  const HAPPLICATION h2 = t_->Open(dev, "A");
  const HANDLE d = t_->LastDriverApp();
  EXPECT_EQ(SAR_OK, api_.CloseApplication(h1)) << "a shared handle needs no driver close";
  EXPECT_EQ(SAR_NOTSUPPORTYETERR, api_.CloseApplication(h2));
  EXPECT_EQ(0u, driver_->AppHandleCloses(d));
  EXPECT_EQ(h2, t_->DriverSees(h2)) << "the handle was forgotten";
  t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication)) << "and so was its record";
}

TEST_F(ShimTracking, TrackedDeviceWithoutTheDriversOpenStillReopensACreatedApplication) {
  Install(kova_test::kFakeDriverWithoutOpenApplicationBuild);
  const DEVHANDLE dev = t_->Connect("59");
  const HAPPLICATION created = t_->Create(dev, "A");
  const HANDLE d = t_->LastDriverApp();
  const HAPPLICATION opened = t_->Open(dev, "A");
  EXPECT_NE(created, opened);
  EXPECT_NE(d, opened);
  EXPECT_EQ(d, t_->DriverSees(opened));
  char other[] = "B";
  HAPPLICATION app = reinterpret_cast<HAPPLICATION>(0x5EED);
  EXPECT_EQ(SAR_NOTSUPPORTYETERR, api_.OpenApplication(dev, other, &app));
  EXPECT_EQ(reinterpret_cast<HAPPLICATION>(0x5EED), app);
  EXPECT_EQ(SAR_OK, api_.CloseApplication(created));
  EXPECT_EQ(0u, driver_->AppHandleCloses(d));
  EXPECT_EQ(SAR_OK, api_.CloseApplication(opened));
  EXPECT_EQ(1u, driver_->AppHandleCloses(d));
}

TEST_F(ShimTracking, DisconnectForgetsTheDevicesRecordsOnly) {
  const DEVHANDLE dev = t_->Connect("59");
  const DEVHANDLE kept = t_->Connect("59");
  const HAPPLICATION h = t_->Open(dev, "A");
  const HAPPLICATION other = t_->Open(kept, "A");
  const HANDLE keptDriverApp = t_->LastDriverApp();
  EXPECT_EQ(SAR_OK, api_.DisConnectDev(dev));
  EXPECT_EQ(dev, t_->LastFirstArg(skf::ENTRY_SKF_DisConnectDev));
  EXPECT_EQ(0u, t_->Count(skf::ENTRY_SKF_CloseApplication)) << "the driver's handles stay open";
  EXPECT_EQ(h, t_->DriverSees(h)) << "an old shim handle reaches the driver unchanged";
  EXPECT_EQ(keptDriverApp, t_->DriverSees(other));
  // The same device handle is no longer tracked: every open reaches the driver.
  t_->Open(dev, "A");
  t_->Open(dev, "A");
  EXPECT_EQ(4u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  // Closing the old handle passes its value on.
  EXPECT_EQ(SAR_OK, api_.CloseApplication(h));
  EXPECT_EQ(h, t_->LastFirstArg(skf::ENTRY_SKF_CloseApplication));
  // The driver's own answer to the disconnect comes back.
  ASSERT_TRUE(driver_->SetResult("SKF_DisConnectDev", 0x0A000023));
  EXPECT_EQ(0x0A000023u, api_.DisConnectDev(kept));
  EXPECT_EQ(other, t_->DriverSees(other)) << "forgotten before the driver was asked";
}

// A caller that closes the driver's own value (no shim handle): the value reaches the driver
// unchanged, and the record of that driver handle is forgotten whatever the driver answers,
// while the shim handle issued for it earlier stays listed and still translates.
TEST_F(ShimTracking, ClosingTheDriversOwnValueForgetsItsRecord) {
  const DEVHANDLE dev = t_->Connect("59");
  const HAPPLICATION h = t_->Open(dev, "A");
  const HANDLE d = t_->LastDriverApp();
  ASSERT_NE(nullptr, d);
  ASSERT_NE(d, h);
  ASSERT_TRUE(driver_->SetResult("SKF_CloseApplication", 0x0A00002E));
  EXPECT_EQ(0x0A00002Eu, api_.CloseApplication(d));
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_CloseApplication));
  EXPECT_EQ(d, t_->LastFirstArg(skf::ENTRY_SKF_CloseApplication));
  // No record is left to share: the next open on the tracked device asks the driver again.
  const HAPPLICATION again = t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_NE(d, t_->DriverSees(again));
  EXPECT_EQ(d, t_->DriverSees(h)) << "the earlier shim handle is still listed";
}

TEST_F(ShimTracking, ConnectWhoseDeviceInformationFailsTracksNothing) {
  ASSERT_TRUE(driver_->SetResult("SKF_GetDevInfo", SAR_FAIL));
  const DEVHANDLE dev = t_->Connect("59");
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_GetDevInfo));
  t_->Open(dev, "A");
  t_->Open(dev, "A");
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication));
}

TEST_F(ShimTracking, FailedConnectReturnsTheDriversCodeAndAsksNothingMore) {
  ASSERT_TRUE(driver_->SetResult("SKF_ConnectDev", 0x0A000023));
  char name[] = "token";
  DEVHANDLE dev = nullptr;
  EXPECT_EQ(0x0A000023u, api_.ConnectDev(name, &dev));
  EXPECT_EQ(0u, t_->Count(skf::ENTRY_SKF_GetDevInfo));
}

TEST_F(ShimTracking, BadArgumentsAreTheDriversToReport) {
  driver_->SetSerialNumber("59");
  char name[] = "token", app[] = "A", admin[] = "a", user[] = "u";
  // No variable for the device handle: the driver answers, the shim asks nothing more.
  EXPECT_EQ(SAR_OK, api_.ConnectDev(name, nullptr));
  EXPECT_EQ(0u, t_->Count(skf::ENTRY_SKF_GetDevInfo));
  const DEVHANDLE dev = t_->Connect("59");
  // No variable for the application handle: nothing is recorded, even on a tracked device
  // where the application is open already.
  EXPECT_EQ(SAR_OK, api_.CreateApplication(dev, app, admin, 3, user, 3, 0xFF, nullptr));
  t_->Open(dev, "A");
  EXPECT_EQ(1u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_EQ(SAR_OK, api_.OpenApplication(dev, app, nullptr));
  EXPECT_EQ(2u, t_->Count(skf::ENTRY_SKF_OpenApplication)) << "the driver reports a null variable";
  // No name: every open reaches the driver.
  HAPPLICATION a = nullptr, b = nullptr;
  EXPECT_EQ(SAR_OK, api_.OpenApplication(dev, nullptr, &a));
  EXPECT_EQ(SAR_OK, api_.OpenApplication(dev, nullptr, &b));
  EXPECT_EQ(4u, t_->Count(skf::ENTRY_SKF_OpenApplication));
  EXPECT_NE(t_->DriverSees(a), t_->DriverSees(b));
  // Values that are no shim handles pass to the driver unchanged.
  for (HAPPLICATION v : {static_cast<HAPPLICATION>(nullptr), reinterpret_cast<HAPPLICATION>(1),
                         reinterpret_cast<HAPPLICATION>(~ULONG_PTR{0})}) {
    EXPECT_EQ(v, t_->DriverSees(v));
    EXPECT_EQ(SAR_OK, api_.CloseApplication(v));
    EXPECT_EQ(v, t_->LastFirstArg(skf::ENTRY_SKF_CloseApplication));
  }
}

// The exports whose first argument is an application handle.
const char* const kTranslating[] = {
    "SKF_ChangePIN",        "SKF_GetPINInfo",    "SKF_VerifyPIN",    "SKF_UnblockPIN",
    "SKF_ClearSecureState", "SKF_CreateFile",    "SKF_DeleteFile",   "SKF_EnumFiles",
    "SKF_GetFileInfo",      "SKF_ReadFile",      "SKF_WriteFile",    "SKF_CreateContainer",
    "SKF_DeleteContainer",  "SKF_EnumContainer", "SKF_OpenContainer"};
// The exports with steps of their own, tested one by one above.
const char* const kTrackingSteps[] = {"SKF_ConnectDev", "SKF_DisConnectDev",
                                      "SKF_CreateApplication", "SKF_OpenApplication",
                                      "SKF_CloseApplication"};

// Calls an export with the sentinels of the shared export cases, but `first` as its first
// argument.
template <class Fn>
struct FirstArgCaller;
template <class First, class... Rest>
struct FirstArgCaller<ULONG(WINAPI*)(First, Rest...)> {
  using Fn = ULONG(WINAPI*)(First, Rest...);
  static ULONG Call(void* function, unsigned entry, HANDLE first) {
    auto args = shim_test::ExportCaller<Fn>::Sentinels(entry);
    if constexpr (std::is_pointer_v<First>) std::get<0>(args) = reinterpret_cast<First>(first);
    return std::apply(reinterpret_cast<Fn>(function), args);
  }
};
template <>
struct FirstArgCaller<ULONG(WINAPI*)()> {
  static ULONG Call(void*, unsigned, HANDLE) { return 0; }
};
ULONG (*const kCallWithFirstArgument[])
(void* function, unsigned entry, HANDLE first) = {
#define SKF_EXPORT(name, family, widths, params, args) &FirstArgCaller<skf::PFN_##name>::Call,
#include "skf_export_table.h"
};

bool Listed(const char* name, const char* const* list, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    if (std::strcmp(name, list[i]) == 0) return true;
  }
  return false;
}

// Every other export is called with a shim handle in place of its first argument: the fifteen
// application-handle exports hand the driver its own handle, every pointer-sized first argument
// of the rest reaches the driver as the caller's value; all further arguments are untouched.
TEST_F(ShimTracking, OnlyTheFifteenApplicationHandleExportsTranslate) {
  const HAPPLICATION shimHandle = t_->Open(t_->Connect("59"), "A");
  const HANDLE d = t_->LastDriverApp();
  for (const shim_test::ExportCase& c : shim_test::kExportCases) {
    ASSERT_TRUE(driver_->SetResult(c.name, shim_test::DistinctResult(c.entry)));
  }
  int translating = 0;
  for (const shim_test::ExportCase& c : shim_test::kExportCases) {
    if (Listed(c.name, kTrackingSteps, std::size(kTrackingSteps)) || c.widths[0] != 'P') continue;
    SCOPED_TRACE(c.name);
    const bool translates = Listed(c.name, kTranslating, std::size(kTranslating));
    translating += translates;
    void* function = reinterpret_cast<void*>(GetProcAddress(install_->shim(), c.name));
    ASSERT_NE(nullptr, function);
    EXPECT_EQ(shim_test::DistinctResult(c.entry),
              kCallWithFirstArgument[c.entry](function, c.entry, shimHandle));
    FakeSkfCall call = driver_->Calls().back();
    ASSERT_EQ(static_cast<ULONG>(c.entry), call.entry);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(translates ? d : shimHandle), call.args[0].value);
    // The rest must be the sentinels: put the first sentinel back and compare the whole call.
    call.args[0].value = reinterpret_cast<ULONG_PTR>(shim_test::Sentinel<void*>(c.entry, 0));
    EXPECT_TRUE(c.matchesSentinels(call, c.entry));
  }
  EXPECT_EQ(15, translating);
}

// Unloading the shim with devices connected and applications open calls no driver function.
TEST_F(ShimTracking, DetachWithRecordsCallsNoDriverFunction) {
  install_.reset();
  ShimInstall install;
  ASSERT_TRUE(install.ok());
  const std::string events = install.folder() + "events.txt";
  ASSERT_TRUE(SetEnvironmentVariableA(FAKE_SKF_EVENTS_VARIABLE, events.c_str()));
  ASSERT_NE(nullptr, install.Load());
  SetEnvironmentVariableA(FAKE_SKF_EVENTS_VARIABLE, nullptr);
  FakeSkfDriver driver(install.LoadedDriver());
  ASSERT_TRUE(driver.valid());
  const SkfApi api = SkfApi::FromShim(install);
  Tracking t(api, driver);
  const DEVHANDLE tracked = t.Connect("59");
  const DEVHANDLE untracked = t.Connect("60");
  t.Open(tracked, "A");
  t.Open(tracked, "A");
  t.Create(tracked, "B");
  t.Open(untracked, "A");
  const std::string before = kova_test::ReadFileBytes(events);
  ASSERT_NE(std::string::npos, before.find("call SKF_OpenApplication\n"));
  ASSERT_TRUE(install.Unload());
  EXPECT_EQ(before + "unload\n", kova_test::ReadFileBytes(events));
}

}  // namespace
}  // namespace tracking_test
