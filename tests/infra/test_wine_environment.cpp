// The facts of the Wine prefix that other tests rely on: the target systems' ANSI code page,
// a C: system drive, and temporary folders that the helpers can create and remove.
#include <gtest/gtest.h>
#include <windows.h>

#include "test_util.h"

TEST(WineEnvironment, AnsiCodePageIsChinese) { EXPECT_EQ(936u, GetACP()); }

TEST(WineEnvironment, SystemDirectoryIsOnDriveC) {
  char dir[MAX_PATH] = {};
  ASSERT_GT(GetSystemDirectoryA(dir, sizeof dir), 0u);
  EXPECT_STRCASEEQ("C:\\windows\\system32", dir);
}

TEST(WineEnvironment, TempDirIsCreatedAndRemoved) {
  std::string kept;
  {
    kova_test::TempDir dir("infra");
    kept = dir.path();
    ASSERT_TRUE(kova_test::WriteFileBytes(dir / "a.txt", "abc"));
    EXPECT_EQ("abc", kova_test::ReadFileBytes(dir / "a.txt"));
  }
  EXPECT_FALSE(kova_test::FileExists(kept));
}
