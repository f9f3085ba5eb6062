// The process lock: loading kova_websocket.dll makes the machine-wide mutex
// Global\kova_ws_log_mutex exist (created open to everyone, with the low-integrity label, or
// opened as another process made it), never owned, and gone once the last holder unloads.
#include <gtest/gtest.h>
#include <windows.h>
// windows.h first: these need its types.
#include <aclapi.h>
#include <sddl.h>

#include <string>

#include "ProcLock.h"
#include "child_process.h"
#include "log_file_reader.h"
#include "log_fixture.h"
#include "test_util.h"

namespace {

constexpr char kMutexName[] = "Global\\kova_ws_log_mutex";

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  explicit Handle(HANDLE handle) : h(handle) {}
  ~Handle() {
    if (h) CloseHandle(h);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};

HANDLE OpenLogMutex() {
  return OpenMutexA(SYNCHRONIZE | READ_CONTROL, /*bInheritHandle=*/FALSE, kMutexName);
}

bool LogMutexExists() {
  Handle mutex(OpenLogMutex());
  return mutex.h != nullptr;
}

struct Security {
  bool dacl_present = false;
  bool dacl_null = false;
  DWORD dacl_aces = 0;
  bool low_label = false;  // a mandatory label ACE: low integrity, no write-up
  DWORD label_aces = 0;
};

Security SecurityOf(HANDLE object) {
  Security result;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                      nullptr, &descriptor) == ERROR_SUCCESS) {
    BOOL present = FALSE, defaulted = FALSE;
    PACL from_descriptor = nullptr;
    GetSecurityDescriptorDacl(descriptor, &present, &from_descriptor, &defaulted);
    result.dacl_present = present != FALSE;
    result.dacl_null = present && from_descriptor == nullptr;
    if (from_descriptor) result.dacl_aces = from_descriptor->AceCount;
    LocalFree(descriptor);
  }
  PACL sacl = nullptr;
  descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, LABEL_SECURITY_INFORMATION, nullptr, nullptr,
                      nullptr, &sacl, &descriptor) == ERROR_SUCCESS) {
    if (sacl) {
      for (DWORD i = 0; i < sacl->AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(sacl, i, reinterpret_cast<void**>(&ace))) continue;
        if (ace->AceType != SYSTEM_MANDATORY_LABEL_ACE_TYPE) continue;
        ++result.label_aces;
        auto* label = reinterpret_cast<SYSTEM_MANDATORY_LABEL_ACE*>(ace);
        PSID sid = &label->SidStart;
        char* text = nullptr;
        if (ConvertSidToStringSidA(sid, &text)) {
          result.low_label = std::string(text) == "S-1-16-4096" &&
                             label->Mask == SYSTEM_MANDATORY_LABEL_NO_WRITE_UP;
          LocalFree(text);
        }
      }
    }
    LocalFree(descriptor);
  }
  return result;
}

DWORD WINAPI TryTake(LPVOID param) {
  HANDLE mutex = param;
  const DWORD result = WaitForSingleObject(mutex, 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) ReleaseMutex(mutex);
  return result;
}

// What a wait from a fresh thread sees: WAIT_OBJECT_0 when nobody owns the mutex.
DWORD WaitFromAnotherThread(HANDLE mutex) {
  Handle thread(CreateThread(nullptr, 0, TryTake, mutex, 0, nullptr));
  WaitForSingleObject(thread.h, 10000);
  DWORD code = 0;
  GetExitCodeThread(thread.h, &code);
  return code;
}

class Plugin {
 public:
  Plugin() : m_module(LoadLibraryA((kova_test::ExeDir() + "kova_websocket.dll").c_str())) {}
  ~Plugin() { Unload(); }
  bool loaded() const { return m_module != nullptr; }
  void Unload() {
    if (m_module) FreeLibrary(m_module);
    m_module = nullptr;
  }

 private:
  HMODULE m_module;
};

class ProcLockTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(LogMutexExists()) << "left over from elsewhere"; }
};

TEST_F(ProcLockTest, LoadingThePluginCreatesTheMutexOpenToEveryoneAndUnowned) {
  ASSERT_TRUE(kova_test::RemoveLogTree());
  Plugin plugin;
  ASSERT_TRUE(plugin.loaded());
  // Its lines come before the plug-in's log is set up: none reaches the file.
  EXPECT_FALSE(kova_test::FileExists(kova_test::LogPath()));
  {
    Handle mutex(OpenLogMutex());
    ASSERT_TRUE(mutex.h) << GetLastError();
    const Security security = SecurityOf(mutex.h);
    EXPECT_TRUE(security.dacl_null) << "every account must have access";
    EXPECT_TRUE(security.low_label) << "low-integrity label, no write-up";
    EXPECT_EQ(1u, security.label_aces);
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitFromAnotherThread(mutex.h))
        << "the mutex must not be owned";
  }
  // Only the plug-in's handle keeps it alive now; unloading closes it.
  EXPECT_TRUE(LogMutexExists());
  plugin.Unload();
  EXPECT_FALSE(LogMutexExists());
}

TEST_F(ProcLockTest, AnExistingMutexIsOpenedAndKeepsItsSecurity) {
  // Made by someone else: an access list of two entries and no label.
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(
      "D:(A;;GA;;;WD)(A;;GA;;;SY)", SDDL_REVISION_1, &descriptor, nullptr));
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
  Handle existing(CreateMutexA(&attributes, /*bInitialOwner=*/FALSE, kMutexName));
  LocalFree(descriptor);
  ASSERT_TRUE(existing.h);
  const Security before = SecurityOf(existing.h);
  ASSERT_EQ(2u, before.dacl_aces);
  ASSERT_EQ(0u, before.label_aces);

  Plugin plugin;
  ASSERT_TRUE(plugin.loaded());
  const Security after = SecurityOf(existing.h);
  EXPECT_FALSE(after.dacl_null);
  EXPECT_EQ(2u, after.dacl_aces);
  EXPECT_EQ(0u, after.label_aces) << "an opened mutex gets no label";
  EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitFromAnotherThread(existing.h));

  // The plug-in holds its own handle to the same object.
  CloseHandle(existing.h);
  existing.h = nullptr;
  EXPECT_TRUE(LogMutexExists());
  plugin.Unload();
  EXPECT_FALSE(LogMutexExists());
}

TEST_F(ProcLockTest, ASecondProcessOpensTheMutexTheFirstOneCreated) {
  const std::string ready_name = "kova_proclock_ready_" + std::to_string(GetCurrentProcessId());
  const std::string release_name = "kova_proclock_release_" + std::to_string(GetCurrentProcessId());
  Handle ready(CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str()));
  Handle release(CreateEventA(nullptr, TRUE, FALSE, release_name.c_str()));
  Handle child(kova_test::StartChild("plugin_log_child.exe",
                                     "hold-plugin " + ready_name + " " + release_name));
  ASSERT_TRUE(child.h);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(ready.h, 30000)) << "child did not load the plug-in";

  Handle seen(OpenLogMutex());
  ASSERT_TRUE(seen.h) << "the mutex must be visible to other processes";
  const Security created = SecurityOf(seen.h);
  EXPECT_TRUE(created.dacl_null);
  EXPECT_TRUE(created.low_label);

  Plugin plugin;
  ASSERT_TRUE(plugin.loaded());
  SetEvent(release.h);
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(child.h, 30000));
  DWORD code = 1;
  GetExitCodeProcess(child.h, &code);
  EXPECT_EQ(0u, code);

  // The child is gone; this process's plug-in keeps the object, security unchanged.
  CloseHandle(seen.h);
  seen.h = nullptr;
  Handle again(OpenLogMutex());
  ASSERT_TRUE(again.h);
  const Security kept = SecurityOf(again.h);
  EXPECT_TRUE(kept.dacl_null);
  EXPECT_TRUE(kept.low_label);
  EXPECT_EQ(1u, kept.label_aces);
  CloseHandle(again.h);
  again.h = nullptr;
  plugin.Unload();
  EXPECT_FALSE(LogMutexExists());
}

TEST_F(ProcLockTest, AnInstanceHoldsItsMutexUntilItIsDestroyed) {
  {
    ProcLock lock("kova_ws_log_mutex");
    EXPECT_TRUE(LogMutexExists());
  }
  EXPECT_FALSE(LogMutexExists());
}

class ProcLockLogTest : public kova_test::LogTest {
 protected:
  void SetUp() override {
    kova_test::LogTest::SetUp();
    ASSERT_FALSE(LogMutexExists());
  }
};

TEST_F(ProcLockLogTest, CreatingThenOpeningLogsEachStep) {
  {
    ProcLock creator("kova_ws_log_mutex");
    ProcLock opener("kova_ws_log_mutex");
  }
  const std::vector<kova_test::LogLine> lines = kova_test::ReadLogLines();
  const struct {
    const char* label;
    const char* message;
  } expected[] = {{"trace", "MutexName = Global\\kova_ws_log_mutex"},
                  {"error", "OpenMutexA error,rv=0x00000002"},
                  {"trace", "CreateMutexA ok."},
                  {"trace", "MutexName = Global\\kova_ws_log_mutex"},
                  {"trace", "OpenMutexA ok."}};
  ASSERT_EQ(std::size(expected), lines.size());
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(expected[i].label, lines[i].label);
    EXPECT_EQ(expected[i].message, lines[i].message);
    EXPECT_EQ("ProcLock::ProcLock", lines[i].function);
    EXPECT_EQ("ProcLock.cpp", lines[i].file);
  }
}

}  // namespace
