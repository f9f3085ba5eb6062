// Fixture of the in-process log tests: the facility set up, the log tree removed before each
// test, and the facility's debugger texts collected instead of sent to the debugger.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kova_test {

class LogTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The debugger texts sent since SetUp, in order.
  static std::vector<std::string> DebugTexts();

  // Writes a file of exactly `size` bytes (a run of 'x', ending in CR LF) at path.
  static void MakeFileOfSize(const std::string& path, unsigned long long size);

  static std::string ThisExeName();
};

}  // namespace kova_test
