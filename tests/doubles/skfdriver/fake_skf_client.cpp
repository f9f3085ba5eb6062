// Test-side helpers for the shim and the fake SKF driver (see fake_skf_client.h).
#include "fake_skf_client.h"

namespace kova_test {

namespace {

template <class Fn>
Fn Find(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], n);
  wide.resize(static_cast<size_t>(n - 1));
  return wide;
}

bool Exists(const std::string& path) {
  return GetFileAttributesW(LongPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A relative folder path of exactly length characters, in segments of at most 50.
std::string NestedFolder(size_t length) {
  std::string nested;
  while (length - nested.size() > 51) nested += std::string(50, 'd') + "\\";
  nested += std::string(length - nested.size(), 'e');
  return nested;
}

}  // namespace

std::wstring LongPath(const std::string& path) { return L"\\\\?\\" + Wide(path); }

HMODULE LoadedModule(const std::string& path) { return GetModuleHandleW(Wide(path).c_str()); }

FakeSkfDriver::FakeSkfDriver(HMODULE driver)
    : reset_(Find<PFN_FakeSkf_Reset>(driver, "FakeSkf_Reset")),
      setResult_(Find<PFN_FakeSkf_SetResult>(driver, "FakeSkf_SetResult")),
      setRecording_(Find<PFN_FakeSkf_SetRecording>(driver, "FakeSkf_SetRecording")),
      callCount_(Find<PFN_FakeSkf_CallCount>(driver, "FakeSkf_CallCount")),
      getCall_(Find<PFN_FakeSkf_GetCall>(driver, "FakeSkf_GetCall")),
      setSerialNumber_(Find<PFN_FakeSkf_SetSerialNumber>(driver, "FakeSkf_SetSerialNumber")),
      getAppStats_(Find<PFN_FakeSkf_GetAppStats>(driver, "FakeSkf_GetAppStats")),
      appHandleCloses_(Find<PFN_FakeSkf_AppHandleCloses>(driver, "FakeSkf_AppHandleCloses")),
      setCloseDelay_(Find<PFN_FakeSkf_SetCloseDelay>(driver, "FakeSkf_SetCloseDelay")) {}

std::vector<FakeSkfCall> FakeSkfDriver::Calls() const {
  std::vector<FakeSkfCall> calls;
  FakeSkfCall call;
  for (ULONG i = 0; getCall_(i, &call); ++i) calls.push_back(call);
  return calls;
}

bool CreateFolders(const std::string& path) {
  for (size_t pos = path.find('\\', 3); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
    CreateDirectoryW(LongPath(path.substr(0, pos)).c_str(), nullptr);
  }
  CreateDirectoryW(LongPath(path).c_str(), nullptr);
  return Exists(path);
}

ShimInstall::ShimInstall(const ShimInstallOptions& options)
    : temp_("skfshim"), folder_(temp_.path()), shimFileName_(options.shimFileName) {
  if (options.folderLength != 0) {
    if (options.folderLength <= folder_.size()) return;
    folder_ += NestedFolder(options.folderLength - folder_.size());
    if (!CreateFolders(folder_)) return;
    folder_ += '\\';
  }
  if (!InstallBuildOutput(kShimBuild, shimPath())) return;
  if (!options.driverBuild.empty() && !PlaceDriver(options.driverBuild)) return;
  ok_ = true;
}

ShimInstall::~ShimInstall() {
  Unload();
  kova_test::RemoveTree(temp_.path());
}

bool ShimInstall::PlaceDriver(const std::string& driverBuild) const {
  return InstallBuildOutput(driverBuild, driverPath());
}

bool InstallBuildOutput(const std::string& build, const std::string& path) {
  return CopyFileW(Wide(ExeDir() + build).c_str(), LongPath(path).c_str(),
                   /*bFailIfExists=*/FALSE) != FALSE;
}

HMODULE ShimInstall::Load() {
  if (shim_ == nullptr) shim_ = LoadLibraryW(Wide(shimPath()).c_str());
  return shim_;
}

bool ShimInstall::Unload() {
  if (shim_ != nullptr) {
    FreeLibrary(shim_);
    shim_ = nullptr;
  }
  return LoadedModule(shimPath()) == nullptr;
}

}  // namespace kova_test
