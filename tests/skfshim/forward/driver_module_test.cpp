// The driver holder on its own, inside the test program: what a load keeps and records, when
// it is (not) retried, how names are bound, and that release frees the driver once.
#include "driver_module.h"

#include <gtest/gtest.h>

#include <string>

#include "fake_skf_client.h"
#include "import_spy.h"

namespace shim_test {
namespace {

using kova_test::ShimInstall;
using skf::CDriverModule;

// The holder's system calls, as made from this program.
HMODULE ThisProgram() { return GetModuleHandleA(nullptr); }

TEST(DriverModule, StartsEmptyAndOwningNothingLoaded) {
  CDriverModule holder;
  EXPECT_EQ(nullptr, holder.Module());
  EXPECT_EQ(0u, holder.LastError());
  EXPECT_TRUE(holder.OwnsModule());
  EXPECT_EQ(nullptr, holder.Path());
  for (unsigned e = 0; e < skf::ENTRY_COUNT; ++e) {
    EXPECT_EQ(skf::BIND_NOT_TRIED, holder.EntryState(static_cast<skf::EntryIndex>(e)));
  }
}

class DriverModuleWithoutPath : public testing::TestWithParam<const char*> {};

TEST_P(DriverModuleWithoutPath, LoadsNothingStoresNothingAndRecordsTheError) {
  CDriverModule holder;
  ImportSpy spy(ThisProgram());
  ASSERT_TRUE(spy.watchesLibraryLoads());
  EXPECT_FALSE(holder.Load(GetParam()));
  EXPECT_EQ(nullptr, holder.Module());
  EXPECT_EQ(nullptr, holder.Path());
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), holder.LastError());
  EXPECT_EQ(nullptr, holder.Bind(skf::ENTRY_SKF_EnumDev));
  EXPECT_EQ(skf::BIND_NOT_TRIED, holder.EntryState(skf::ENTRY_SKF_EnumDev));
  EXPECT_EQ(0, spy.LibraryLoads());
}

INSTANTIATE_TEST_SUITE_P(Cases, DriverModuleWithoutPath, testing::Values(nullptr, ""),
                         [](const auto& info) {
                           return std::string(info.param ? "Empty" : "Null");
                         });

TEST(DriverModule, FailedLoadKeepsThePathAndIsNeverRetried) {
  kova_test::TempDir folder("skfmod");
  const std::string absent = folder / "tvr6142_q8207_x64.gmd";
  CDriverModule holder;
  ImportSpy spy(ThisProgram());
  ASSERT_TRUE(spy.watchesLibraryLoads());
  EXPECT_FALSE(holder.Load(absent.c_str()));
  EXPECT_EQ(1, spy.LibraryLoads());
  EXPECT_NE(0u, holder.LastError());
  ASSERT_NE(nullptr, holder.Path());
  EXPECT_EQ(absent, holder.Path());

  ASSERT_TRUE(kova_test::CopyFileTo(kova_test::ExeDir() + kova_test::kFakeDriverBuild, absent));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(nullptr, holder.Bind(skf::ENTRY_SKF_EnumDev));
  EXPECT_EQ(skf::BIND_NOT_TRIED, holder.EntryState(skf::ENTRY_SKF_EnumDev));
  EXPECT_EQ(1, spy.LibraryLoads()) << "binding retried the failed load";
}

TEST(DriverModule, BindsEachNameOnceAndAMissingNameStaysMissing) {
  ShimInstall install({kova_test::kFakeDriverWithoutTransmitBuild});
  ASSERT_TRUE(install.ok());
  CDriverModule holder;
  ASSERT_TRUE(holder.Load(install.driverPath().c_str()));
  ASSERT_EQ(install.LoadedDriver(), holder.Module());
  void* const enumDev = reinterpret_cast<void*>(GetProcAddress(holder.Module(), "SKF_EnumDev"));
  ASSERT_NE(nullptr, enumDev);

  ImportSpy spy(ThisProgram());
  ASSERT_TRUE(spy.watchesGetProcAddress());
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(nullptr, holder.Bind(skf::ENTRY_SKF_Transmit));
    EXPECT_EQ(enumDev, holder.Bind(skf::ENTRY_SKF_EnumDev));
  }
  EXPECT_EQ(skf::BIND_MISSING, holder.EntryState(skf::ENTRY_SKF_Transmit));
  EXPECT_EQ(skf::BIND_BOUND, holder.EntryState(skf::ENTRY_SKF_EnumDev));
  EXPECT_EQ(skf::BIND_NOT_TRIED, holder.EntryState(skf::ENTRY_SKF_LockDev));
  EXPECT_EQ(1, spy.ProcAddressRequests("SKF_Transmit"));
  EXPECT_EQ(1, spy.ProcAddressRequests("SKF_EnumDev"));

  // A loaded holder loads nothing more and keeps its first path.
  const std::string first = holder.Path();
  EXPECT_TRUE(holder.Load("C:\\elsewhere\\other.gmd"));
  EXPECT_EQ(0, spy.LibraryLoads());
  EXPECT_EQ(first, holder.Path());
}

TEST(DriverModule, ReleaseFreesTheDriverOnceAndLeavesEntriesAsTheyAre) {
  ShimInstall install;
  ASSERT_TRUE(install.ok());
  HMODULE pinned = LoadLibraryA(install.driverPath().c_str());
  ASSERT_NE(nullptr, pinned);
  {
    CDriverModule holder;
    ASSERT_TRUE(holder.Load(install.driverPath().c_str()));
    ASSERT_NE(nullptr, holder.Bind(skf::ENTRY_SKF_EnumDev));
    holder.Release();
    EXPECT_EQ(nullptr, holder.Module());
    EXPECT_EQ(nullptr, holder.Path());
    EXPECT_FALSE(holder.OwnsModule());
    EXPECT_EQ(skf::BIND_BOUND, holder.EntryState(skf::ENTRY_SKF_EnumDev));
    EXPECT_EQ(pinned, install.LoadedDriver());
  }  // the destructor finds nothing left to free
  EXPECT_EQ(pinned, install.LoadedDriver()) << "freed twice";
  FreeLibrary(pinned);
  EXPECT_EQ(nullptr, install.LoadedDriver()) << "never freed";
}

}  // namespace
}  // namespace shim_test
