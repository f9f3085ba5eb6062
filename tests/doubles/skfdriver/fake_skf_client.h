// Test-side helpers for the shim and the fake SKF driver: an installation of a shim copy and a
// fake driver copy in a temporary folder, and the control of a loaded fake driver.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "fake_skf_api.h"
#include "test_util.h"

namespace kova_test {

// Build outputs beside the test programs.
inline constexpr char kShimBuild[] = "tvr6142_q8207_gm.dll";
inline constexpr char kFakeDriverBuild[] = "fake_skf_driver.dll";
inline constexpr char kFakeDriverWithoutTransmitBuild[] = "fake_skf_driver_no_transmit.dll";
inline constexpr char kFakeDriverWithoutOpenApplicationBuild[] = "fake_skf_driver_no_open_app.dll";
inline constexpr char kFakeDriverWithoutCloseApplicationBuild[] =
    "fake_skf_driver_no_close_app.dll";
// The names the shim and its driver have when installed.
inline constexpr char kShimFileName[] = "tvr6142_q8207_gm.dll";
inline constexpr char kDriverFileName[] = "tvr6142_q8207_x64.gmd";

// A loaded fake driver, reached through its FakeSkf_* exports.
class FakeSkfDriver {
 public:
  explicit FakeSkfDriver(HMODULE driver);
  // True when the module is a fake driver (all control exports found).
  bool valid() const {
    return reset_ && setResult_ && setRecording_ && callCount_ && getCall_ && setSerialNumber_ &&
           getAppStats_ && appHandleCloses_ && setCloseDelay_;
  }

  void Reset() const { reset_(); }
  bool SetResult(const char* name, ULONG result) const { return setResult_(name, result) != FALSE; }
  void SetRecording(bool on) const { setRecording_(on ? TRUE : FALSE); }
  ULONG CallCount() const { return callCount_(); }
  std::vector<FakeSkfCall> Calls() const;
  void SetSerialNumber(const char* serial) const { setSerialNumber_(serial); }
  FakeSkfAppStats AppStats() const {
    FakeSkfAppStats stats{};
    getAppStats_(&stats);
    return stats;
  }
  ULONG AppHandleCloses(HANDLE app) const { return appHandleCloses_(app); }
  void SetCloseDelay(ULONG milliseconds) const { setCloseDelay_(milliseconds); }

 private:
  PFN_FakeSkf_Reset reset_ = nullptr;
  PFN_FakeSkf_SetResult setResult_ = nullptr;
  PFN_FakeSkf_SetRecording setRecording_ = nullptr;
  PFN_FakeSkf_CallCount callCount_ = nullptr;
  PFN_FakeSkf_GetCall getCall_ = nullptr;
  PFN_FakeSkf_SetSerialNumber setSerialNumber_ = nullptr;
  PFN_FakeSkf_GetAppStats getAppStats_ = nullptr;
  PFN_FakeSkf_AppHandleCloses appHandleCloses_ = nullptr;
  PFN_FakeSkf_SetCloseDelay setCloseDelay_ = nullptr;
};

// The module loaded from path (of any length), or null.
HMODULE LoadedModule(const std::string& path);

struct ShimInstallOptions {
  ShimInstallOptions(std::string driver = kFakeDriverBuild) : driverBuild(std::move(driver)) {}
  // Build output installed as the driver beside the shim; empty for none.
  std::string driverBuild;
  // When non-zero, the installation folder is nested below the temporary folder so that its
  // path (without the trailing backslash) has exactly this many characters; it may exceed
  // MAX_PATH.
  size_t folderLength = 0;
  std::string shimFileName = kShimFileName;
};

// A copy of the shim (and of a fake driver, as "tvr6142_q8207_x64.gmd") in a fresh temporary
// folder. Paths are 8-bit text in the ANSI code page; files are handled through the wide
// functions, so that they may be longer than MAX_PATH. The destructor unloads the shim if it
// is still loaded, then removes the folder.
class ShimInstall {
 public:
  explicit ShimInstall(const ShimInstallOptions& options = {});
  ~ShimInstall();
  ShimInstall(const ShimInstall&) = delete;
  ShimInstall& operator=(const ShimInstall&) = delete;

  // True when every file was copied into place.
  bool ok() const { return ok_; }
  // The installation folder, with a trailing backslash.
  const std::string& folder() const { return folder_; }
  std::string shimPath() const { return folder_ + shimFileName_; }
  std::string driverPath() const { return folder_ + kDriverFileName; }

  // Copies a build output to the driver's place (for a driver that appears later).
  bool PlaceDriver(const std::string& driverBuild = kFakeDriverBuild) const;

  HMODULE Load();  // loads the shim copy; null on failure
  bool Unload();   // FreeLibrary of the shim copy; true when it is gone from the process
  HMODULE shim() const { return shim_; }
  // The driver copy of this installation if it is loaded in the process, else null.
  HMODULE LoadedDriver() const { return LoadedModule(driverPath()); }

  template <class Fn>
  Fn Export(const char* name) const {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(shim_, name)));
  }

 private:
  TempDir temp_;
  std::string folder_;
  std::string shimFileName_;
  HMODULE shim_ = nullptr;
  bool ok_ = false;
};

// Creates every folder of path (absolute, backslashes, any length); true when the whole path
// exists.
bool CreateFolders(const std::string& path);

// Copies a build output (a file beside the test program) to path, of any length.
bool InstallBuildOutput(const std::string& build, const std::string& path);

// The wide form of an ANSI path, with the "\\?\" prefix that lifts the MAX_PATH limit.
std::wstring LongPath(const std::string& path);

}  // namespace kova_test
