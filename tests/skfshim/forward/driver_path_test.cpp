// The driver path built from the shim's own file name: its folder plus the fixed file name,
// or nothing at all when that cannot be done whole.
#include "driver_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <string>

namespace shim_test {
namespace {

struct PathCase {
  const char* name;
  std::string modulePath;
  UINT codePage;
  bool built;
  std::string driverPath;
};

void PrintTo(const PathCase& c, std::ostream* os) { *os << c.name; }

// A folder path of exactly length characters ("C:\" then segments).
std::string FolderOfLength(size_t length) {
  std::string folder = "C:\\";
  while (folder.size() + 51 < length) folder += std::string(50, 'd') + "\\";
  folder += std::string(length - folder.size(), 'e');
  return folder;
}

const std::string kDriver = "tvr6142_q8207_x64.gmd";

class DriverPath : public testing::TestWithParam<PathCase> {};

TEST_P(DriverPath, IsTheModulesFolderPlusTheDriverFileName) {
  const PathCase& c = GetParam();
  char out[MAX_PATH];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(c.built, skf::MakeDriverPath(c.modulePath.c_str(), c.codePage, out));
  EXPECT_EQ(c.built ? c.driverPath : std::string(), std::string(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DriverPath,
    testing::Values(
        PathCase{"NestedFolder", "C:\\Program Files\\KOVA\\tvr6142_q8207_gm.dll", 936, true,
                 "C:\\Program Files\\KOVA\\" + kDriver},
        PathCase{"DriveRoot", "C:\\tvr6142_q8207_gm.dll", 936, true, "C:\\" + kDriver},
        PathCase{"NetworkShare", "\\\\server\\share\\gm.dll", 936, true,
                 "\\\\server\\share\\" + kDriver},
        PathCase{"NoFolder", "tvr6142_q8207_gm.dll", 936, false, ""},
        PathCase{"Empty", "", 936, false, ""},
        // Folder of 237 characters: driver path of 259, which fits with its terminating zero.
        PathCase{"LongestFolderThatFits", FolderOfLength(237) + "\\gm.dll", 936, true,
                 FolderOfLength(237) + "\\" + kDriver},
        // One character more would need 261 characters: refused, not cut.
        PathCase{"FolderOneTooLong", FolderOfLength(238) + "\\gm.dll", 936, false, ""},
        // 0x81 0x5C is one character in code page 936; its second byte is no separator.
        PathCase{"DoubleByteInFileName", "C:\\d\\x\x81\x5C.dll", 936, true, "C:\\d\\" + kDriver},
        PathCase{"DoubleByteInFolder", "C:\\\x81\x5C\\gm.dll", 936, true,
                 "C:\\\x81\x5C\\" + kDriver},
        // In code page 1252 the same bytes are two characters, the second a backslash.
        PathCase{"SingleByteCodePage", "C:\\d\\x\x81\x5C.dll", 1252, true,
                 "C:\\d\\x\x81\\" + kDriver},
        // A lead byte as the very last byte ends the text; it swallows no terminator.
        PathCase{"TrailingLeadByte", "C:\\d\\gm\x81", 936, true, "C:\\d\\" + kDriver}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DriverPathInput, NullModulePathBuildsNothing) {
  char out[MAX_PATH] = "unchanged?";
  EXPECT_FALSE(skf::MakeDriverPath(nullptr, 936, out));
  EXPECT_STREQ("", out);
}

TEST(DriverPathInput, ModuleOfTheRunningProgramGivesItsFolder) {
  char self[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::string expected(self, n);
  expected = expected.substr(0, expected.find_last_of('\\') + 1) + kDriver;
  char out[MAX_PATH];
  ASSERT_TRUE(skf::BuildDriverPath(nullptr, out));
  EXPECT_EQ(expected, out);
}

}  // namespace
}  // namespace shim_test
