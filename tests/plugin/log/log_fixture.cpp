// Fixture of the in-process log tests (see log_fixture.h).
#include "log_fixture.h"

#include <windows.h>

#include <mutex>

#include "clog.h"
#include "clog_internal.h"
#include "log_file_reader.h"
#include "test_util.h"

namespace kova_test {

namespace {

std::mutex g_texts_lock;
std::vector<std::string> g_texts;

void CollectDebugText(const char* text) {
  std::lock_guard<std::mutex> hold(g_texts_lock);
  g_texts.push_back(text);
}

}  // namespace

void LogTest::SetUp() {
  clog_init();
  ASSERT_TRUE(RemoveLogTree());
  {
    std::lock_guard<std::mutex> hold(g_texts_lock);
    g_texts.clear();
  }
  clog_detail::SetDebugOutput(&CollectDebugText);
}

void LogTest::TearDown() { clog_detail::SetDebugOutput(nullptr); }

std::vector<std::string> LogTest::DebugTexts() {
  std::lock_guard<std::mutex> hold(g_texts_lock);
  return g_texts;
}

void LogTest::MakeFileOfSize(const std::string& path, unsigned long long size) {
  CreateDirectoryA((LogDir().substr(0, 3) + "KOVAROOT").c_str(), nullptr);
  CreateDirectoryA((LogDir().substr(0, 3) + "KOVAROOT\\KOVAlog").c_str(), nullptr);
  CreateDirectoryA(LogDir().c_str(), nullptr);
  std::string bytes(static_cast<std::size_t>(size), 'x');
  if (size >= 2) bytes.replace(bytes.size() - 2, 2, "\r\n");
  ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
}

std::string LogTest::ThisExeName() {
  const std::string dir = ExeDir();
  char path[MAX_PATH];
  GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path).substr(dir.size());
}

}  // namespace kova_test
