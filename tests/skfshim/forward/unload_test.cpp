// Unloading the shim: the driver is freed exactly once and no driver function is called; the
// driver is loaded when the shim is, before any call.
#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "export_cases.h"
#include "fake_skf_client.h"

namespace shim_test {
namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;

// The test holds a reference of its own to the driver, so the fake driver (and its records)
// outlives the shim: if the shim freed the driver twice, the driver would be gone while the
// test still holds it; if not at all, it would remain after the test lets go.
TEST(ShimUnload, FreesTheDriverExactlyOnceAndCallsNoDriverFunction) {
  ShimInstall install;
  ASSERT_TRUE(install.ok());
  HMODULE pinned = LoadLibraryA(install.driverPath().c_str());
  ASSERT_NE(nullptr, pinned);
  ASSERT_NE(nullptr, install.Load());
  FakeSkfDriver driver(pinned);
  ASSERT_TRUE(driver.valid());

  auto connect = install.Export<skf::PFN_SKF_ConnectDev>("SKF_ConnectDev");
  ASSERT_NE(nullptr, connect);
  char name[] = "token0";
  DEVHANDLE device = nullptr;
  ASSERT_EQ(SAR_OK, connect(name, &device)) << "a device stays connected over the unload";
  const ULONG callsBeforeUnload = driver.CallCount();

  ASSERT_TRUE(install.Unload());
  EXPECT_EQ(pinned, install.LoadedDriver()) << "freed more than once";
  EXPECT_EQ(callsBeforeUnload, driver.CallCount()) << "the unload called into the driver";

  FreeLibrary(pinned);
  EXPECT_EQ(nullptr, install.LoadedDriver()) << "the shim never freed its reference";
}

// The fake driver's own log of events, which survives its unload.
TEST(ShimUnload, DriverLoadsWithTheShimAndLeavesWithIt) {
  ShimInstall install;
  ASSERT_TRUE(install.ok());
  const std::string events = install.folder() + "events.txt";
  ASSERT_TRUE(SetEnvironmentVariableA(FAKE_SKF_EVENTS_VARIABLE, events.c_str()));
  ASSERT_NE(nullptr, install.Load());
  EXPECT_EQ("load\n", kova_test::ReadFileBytes(events)) << "loaded at attach, before any call";

  // Thread attach and detach notifications change nothing.
  std::thread([] {}).join();
  EXPECT_EQ("load\n", kova_test::ReadFileBytes(events));

  auto enumDev = install.Export<skf::PFN_SKF_EnumDev>("SKF_EnumDev");
  ASSERT_NE(nullptr, enumDev);
  ULONG size = 0;
  EXPECT_EQ(SAR_OK, enumDev(TRUE, nullptr, &size));
  ASSERT_TRUE(install.Unload());
  SetEnvironmentVariableA(FAKE_SKF_EVENTS_VARIABLE, nullptr);
  EXPECT_EQ("load\ncall SKF_EnumDev\nunload\n", kova_test::ReadFileBytes(events));
  EXPECT_EQ(nullptr, install.LoadedDriver());
}

}  // namespace
}  // namespace shim_test
