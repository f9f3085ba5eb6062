// Finding and loading the driver: only from the shim's own folder, never from a path that had
// to be cut short, never again after a failed load; a missing driver function is asked for
// once and answers SAR_NOTSUPPORTYETERR for good.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "export_cases.h"
#include "fake_skf_client.h"
#include "import_spy.h"

namespace shim_test {
namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;
using kova_test::ShimInstallOptions;

// Sets the process's current folder for the lifetime of the object.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder) {
    GetCurrentDirectoryA(MAX_PATH, saved_);
    ok_ = SetCurrentDirectoryA(folder.c_str()) != FALSE;
  }
  ~CurrentFolder() { SetCurrentDirectoryA(saved_); }
  bool ok() const { return ok_; }

 private:
  char saved_[MAX_PATH] = {};
  bool ok_ = false;
};

// Calls every export with pointers that fault on any access; each must answer
// SAR_NOTSUPPORTYETERR (a touched argument ends the test program).
void ExpectEveryExportUnsupported(const ShimInstall& install) {
  NoAccessMemory noAccess;
  ASSERT_NE(nullptr, noAccess.get());
  for (const ExportCase& c : kExportCases) {
    void* function = reinterpret_cast<void*>(GetProcAddress(install.shim(), c.name));
    ASSERT_NE(nullptr, function) << c.name;
    EXPECT_EQ(SAR_NOTSUPPORTYETERR,
              c.callWithUntouchablePointers(function, c.entry, noAccess.get()))
        << c.name;
  }
}

ULONG CallEnumDev(const ShimInstall& install) {
  auto enumDev = install.Export<skf::PFN_SKF_EnumDev>("SKF_EnumDev");
  if (enumDev == nullptr) return 0xDEADDEAD;
  char names[64] = {};
  ULONG size = sizeof names;
  return enumDev(TRUE, names, &size);
}

TEST(ShimLoading, WithoutDriverEveryExportAnswersUnsupportedAndNoLaterCallLoadsIt) {
  ShimInstall install({/*driverBuild=*/""});
  ASSERT_TRUE(install.ok());
  ASSERT_NE(nullptr, install.Load()) << "the shim loads without its driver";
  ExpectEveryExportUnsupported(install);

  ImportSpy spy(install.shim());
  ASSERT_TRUE(spy.watchesLibraryLoads());
  ASSERT_TRUE(install.PlaceDriver()) << "a driver appears beside the shim";
  ExpectEveryExportUnsupported(install);
  EXPECT_EQ(0, spy.LibraryLoads()) << "a failed load is never retried";
  EXPECT_EQ(nullptr, install.LoadedDriver());
}

TEST(ShimLoading, MissingDriverFunctionAnswersUnsupportedAndIsLookedUpOnce) {
  ShimInstall install({kova_test::kFakeDriverWithoutTransmitBuild});
  ASSERT_TRUE(install.ok());
  ASSERT_NE(nullptr, install.Load());
  FakeSkfDriver driver(install.LoadedDriver());
  ASSERT_TRUE(driver.valid());
  ASSERT_TRUE(driver.SetResult("SKF_EnumDev", 0x0A00001D));
  ImportSpy spy(install.shim());
  ASSERT_TRUE(spy.watchesGetProcAddress());
  auto transmit = install.Export<skf::PFN_SKF_Transmit>("SKF_Transmit");
  ASSERT_NE(nullptr, transmit);

  for (int i = 0; i < 3; ++i) {
    BYTE command[4] = {0x00, 0x84, 0x00, 0x00}, response[16];
    ULONG responseLength = sizeof response;
    EXPECT_EQ(SAR_NOTSUPPORTYETERR,
              transmit(nullptr, command, sizeof command, response, &responseLength));
    EXPECT_EQ(sizeof response, responseLength) << "an unbound export touches no argument";
    EXPECT_EQ(0x0A00001Du, CallEnumDev(install)) << "the other exports still forward";
  }
  EXPECT_EQ(1, spy.ProcAddressRequests("SKF_Transmit"));
  EXPECT_EQ(1, spy.ProcAddressRequests("SKF_EnumDev"));
  const auto calls = driver.Calls();
  ASSERT_EQ(3u, calls.size());
  for (const FakeSkfCall& call : calls)
    EXPECT_EQ(static_cast<ULONG>(skf::ENTRY_SKF_EnumDev), call.entry);
}

struct FolderCase {
  const char* name;
  bool driverBesideShim;
  bool driverInCurrentFolder;
};

void PrintTo(const FolderCase& c, std::ostream* os) { *os << c.name; }

class ShimDriverFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(ShimDriverFolder, DriverComesFromTheShimsFolderWhateverTheCurrentFolder) {
  const FolderCase& c = GetParam();
  ShimInstall install({c.driverBesideShim ? kova_test::kFakeDriverBuild : ""});
  ShimInstall elsewhere({c.driverInCurrentFolder ? kova_test::kFakeDriverBuild : ""});
  ASSERT_TRUE(install.ok());
  ASSERT_TRUE(elsewhere.ok());
  {
    CurrentFolder current(elsewhere.folder());
    ASSERT_TRUE(current.ok());
    ASSERT_NE(nullptr, install.Load());
  }
  EXPECT_EQ(nullptr, elsewhere.LoadedDriver()) << "driver of the current folder";
  if (c.driverBesideShim) {
    ASSERT_NE(nullptr, install.LoadedDriver());
    EXPECT_EQ(SAR_OK, CallEnumDev(install));
  } else {
    EXPECT_EQ(SAR_NOTSUPPORTYETERR, CallEnumDev(install));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShimDriverFolder,
                         testing::Values(FolderCase{"BesideShimAndInCurrentFolder", true, true},
                                         FolderCase{"OnlyInCurrentFolder", false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// In code page 936 the second byte of a double-byte character may be 0x5C, the backslash: a
// shim whose own name holds one still finds the driver in its folder.
TEST(ShimLoading, DoubleByteCharacterEndingInBackslashByteIsNoFolderSeparator) {
  ASSERT_EQ(936u, GetACP());
  ShimInstallOptions options;
  options.shimFileName = "skf\x81\x5Cshim.dll";
  ShimInstall install(options);
  ASSERT_TRUE(install.ok());
  ASSERT_NE(nullptr, install.Load());
  EXPECT_NE(nullptr, install.LoadedDriver());
  EXPECT_EQ(SAR_OK, CallEnumDev(install));
}

// Folders deep enough that the driver's path, or even the shim's own, no longer fits in
// MAX_PATH characters. Where it does not fit, nothing is loaded: decoy drivers wait where a
// path cut short would point.
struct LongFolderCase {
  const char* name;
  size_t folderLength;  // installation folder, without the trailing backslash
  bool driverLoads;
};

void PrintTo(const LongFolderCase& c, std::ostream* os) { *os << c.name; }

class ShimLongFolder : public testing::TestWithParam<LongFolderCase> {};

TEST_P(ShimLongFolder, LoadsTheDriverOnlyFromItsWholePath) {
  const LongFolderCase& c = GetParam();
  ShimInstallOptions options;
  options.folderLength = c.folderLength;
  ShimInstall install(options);
  ASSERT_TRUE(install.ok());
  ASSERT_EQ(c.folderLength + 1, install.folder().size());
  // The driver path cut to MAX_PATH - 1 characters, as a truncating copy would leave it.
  const std::string cut = install.driverPath().substr(0, MAX_PATH - 1);
  // The folder a shim path cut to MAX_PATH characters would give.
  const std::string shimCut = install.shimPath().substr(0, MAX_PATH);
  const std::string cutFolder = shimCut.substr(0, shimCut.find_last_of('\\') + 1);
  std::vector<std::string> decoys;
  if (!c.driverLoads) {
    if (cut != install.driverPath()) decoys.push_back(cut);
    if (cutFolder != install.folder()) decoys.push_back(cutFolder + kova_test::kDriverFileName);
    ASSERT_FALSE(decoys.empty());
    for (const std::string& decoy : decoys)
      ASSERT_TRUE(kova_test::InstallBuildOutput(kova_test::kFakeDriverBuild, decoy));
  }

  ASSERT_NE(nullptr, install.Load());
  if (c.driverLoads) {
    EXPECT_NE(nullptr, install.LoadedDriver());
    EXPECT_EQ(SAR_OK, CallEnumDev(install));
  } else {
    EXPECT_EQ(nullptr, install.LoadedDriver());
    for (const std::string& decoy : decoys)
      EXPECT_EQ(nullptr, kova_test::LoadedModule(decoy)) << decoy;
    ExpectEveryExportUnsupported(install);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShimLongFolder,
                         testing::Values(
                             // Driver path of 259 characters: fits with its terminating zero.
                             LongFolderCase{"DriverPathFits", MAX_PATH - 1 - 22, true},
                             // Driver path of 260 characters, shim path of 259: the shim's name is
                             // read whole, the driver's path does not fit.
                             LongFolderCase{"DriverPathOneTooLong", MAX_PATH - 22, false},
                             // Shim path beyond MAX_PATH: its own name cannot be read whole.
                             LongFolderCase{"ShimPathTooLong", MAX_PATH + 40, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shim_test
