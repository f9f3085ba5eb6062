// Forwarding through the real DLL: every export hands the fake driver's function of the same
// name exactly the caller's arguments, in order and at full width, and returns its result.
#include <gtest/gtest.h>

#include <cstring>

#include "export_cases.h"
#include "fake_skf_client.h"

namespace shim_test {
namespace {

using kova_test::FakeSkfDriver;
using kova_test::ShimInstall;

// A shim copy loaded with a fake driver beside it.
class ShimForwarding : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(install.ok());
    ASSERT_NE(nullptr, install.Load());
    driver = FakeSkfDriver(install.LoadedDriver());
    ASSERT_TRUE(driver.valid()) << "the fake driver was not loaded beside the shim";
  }

  ShimInstall install;
  FakeSkfDriver driver{nullptr};
};

TEST_F(ShimForwarding, EveryExportPassesTheCallersArgumentsAndReturnsTheDriversResult) {
  for (const ExportCase& c : kExportCases)
    ASSERT_TRUE(driver.SetResult(c.name, DistinctResult(c.entry)));

  // The first round binds every entry, the second runs the bound path.
  for (const char* round : {"first call", "bound call"}) {
    for (const ExportCase& c : kExportCases) {
      SCOPED_TRACE(std::string(c.name) + ", " + round);
      void* function = reinterpret_cast<void*>(GetProcAddress(install.shim(), c.name));
      ASSERT_NE(nullptr, function);
      const ULONG before = driver.CallCount();
      EXPECT_EQ(DistinctResult(c.entry), c.callWithSentinels(function, c.entry));
      const auto calls = driver.Calls();
      ASSERT_EQ(before + 1, calls.size()) << "one call reaches the driver";
      EXPECT_EQ(static_cast<ULONG>(c.entry), calls.back().entry)
          << "reached " << skf::kEntryNames[calls.back().entry];
      EXPECT_EQ(std::strlen(c.widths), calls.back().argCount);
      EXPECT_TRUE(c.matchesSentinels(calls.back(), c.entry));
    }
  }
}

// The two exports with a structure by value, written out by hand: the driver receives the
// caller's 44 bytes unchanged, whatever they hold.
TEST_F(ShimForwarding, BlockCipherParamArrivesByValueByteForByte) {
  BLOCKCIPHERPARAM param;
  for (unsigned i = 0; i < MAX_IV_LEN; ++i) param.IV[i] = static_cast<BYTE>(0xF0 - i);
  param.IVLen = 16;
  param.PaddingType = 1;
  param.FeedBitLen = 0xFFFFFFFF;
  const HANDLE key = reinterpret_cast<HANDLE>(0x7FEEDDCCBBAA9988ull);
  for (const char* name : {"SKF_EncryptInit", "SKF_DecryptInit"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(driver.SetResult(name, 0x0A000010));
    auto init = install.Export<skf::PFN_SKF_EncryptInit>(name);
    ASSERT_NE(nullptr, init);
    EXPECT_EQ(0x0A000010u, init(key, param));
    const FakeSkfCall call = driver.Calls().back();
    ASSERT_EQ(2u, call.argCount);
    EXPECT_EQ(reinterpret_cast<ULONG_PTR>(key), call.args[0].value);
    ASSERT_EQ(44u, call.args[1].size);
    EXPECT_EQ(0, std::memcmp(&param, call.args[1].bytes, sizeof param));
  }
}

// The ten-argument export, written out by hand: arguments five to ten travel on the stack.
TEST_F(ShimForwarding, TenArgumentExportPassesAllTenInOrder) {
  ASSERT_TRUE(driver.SetResult("SKF_GenerateAgreementDataAndKeyWithECC", 0xFFFFFFFF));
  auto generate = install.Export<skf::PFN_SKF_GenerateAgreementDataAndKeyWithECC>(
      "SKF_GenerateAgreementDataAndKeyWithECC");
  ASSERT_NE(nullptr, generate);

  ECCPUBLICKEYBLOB sponsor{}, sponsorTemp{}, temp{};
  BYTE id[4] = {1, 2, 3, 4}, sponsorId[3] = {5, 6, 7};
  HANDLE key = nullptr;
  const HANDLE container = reinterpret_cast<HANDLE>(0x1122334455667788ull);
  EXPECT_EQ(0xFFFFFFFFu, generate(container, 0xFEDCBA98, &sponsor, &sponsorTemp, &temp, id,
                                  0x80000004, sponsorId, 3, &key));
  const FakeSkfCall call = driver.Calls().back();
  ASSERT_EQ(10u, call.argCount);
  const ULONGLONG want[10] = {0x1122334455667788ull,
                              0xFEDCBA98,
                              reinterpret_cast<ULONG_PTR>(&sponsor),
                              reinterpret_cast<ULONG_PTR>(&sponsorTemp),
                              reinterpret_cast<ULONG_PTR>(&temp),
                              reinterpret_cast<ULONG_PTR>(id),
                              0x80000004,
                              reinterpret_cast<ULONG_PTR>(sponsorId),
                              3,
                              reinterpret_cast<ULONG_PTR>(&key)};
  const ULONG widths[10] = {8, 4, 8, 8, 8, 8, 4, 8, 4, 8};
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(want[i], call.args[i].value) << "argument " << i + 1;
    EXPECT_EQ(widths[i], call.args[i].size) << "argument " << i + 1;
  }
}

}  // namespace
}  // namespace shim_test
