// Test-side helpers for the shim and the fake SKF driver (see fake_skf_client.h).
#include "fake_skf_client.h"

namespace kova_test {

namespace {

template <class Fn>
Fn Find(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

FakeSkfDriver::FakeSkfDriver(HMODULE driver)
    : reset_(Find<PFN_FakeSkf_Reset>(driver, "FakeSkf_Reset")),
      setResult_(Find<PFN_FakeSkf_SetResult>(driver, "FakeSkf_SetResult")),
      setRecording_(Find<PFN_FakeSkf_SetRecording>(driver, "FakeSkf_SetRecording")),
      callCount_(Find<PFN_FakeSkf_CallCount>(driver, "FakeSkf_CallCount")),
      getCall_(Find<PFN_FakeSkf_GetCall>(driver, "FakeSkf_GetCall")) {}

std::vector<FakeSkfCall> FakeSkfDriver::Calls() const {
  std::vector<FakeSkfCall> calls;
  FakeSkfCall call;
  for (ULONG i = 0; getCall_(i, &call); ++i) calls.push_back(call);
  return calls;
}

bool CreateFolders(const std::string& path) {
  for (size_t pos = path.find('\\', 3); pos != std::string::npos; pos = path.find('\\', pos + 1)) {
    CreateDirectoryA(path.substr(0, pos).c_str(), nullptr);
  }
  CreateDirectoryA(path.c_str(), nullptr);
  return FileExists(path);
}

ShimInstall::ShimInstall(const ShimInstallOptions& options)
    : temp_("skfshim"), folder_(temp_.path()), shimFileName_(options.shimFileName) {
  if (!options.subfolder.empty()) {
    folder_ += options.subfolder;
    if (folder_.back() != '\\') folder_ += '\\';
    if (!CreateFolders(folder_.substr(0, folder_.size() - 1))) return;
  }
  if (!CopyFileTo(ExeDir() + kShimBuild, shimPath())) return;
  if (!options.driverBuild.empty() && !PlaceDriver(options.driverBuild)) return;
  ok_ = true;
}

ShimInstall::~ShimInstall() { Unload(); }

bool ShimInstall::PlaceDriver(const std::string& driverBuild) const {
  return CopyFileTo(ExeDir() + driverBuild, driverPath());
}

HMODULE ShimInstall::Load() {
  if (shim_ == nullptr) shim_ = LoadLibraryA(shimPath().c_str());
  return shim_;
}

bool ShimInstall::Unload() {
  if (shim_ != nullptr) {
    FreeLibrary(shim_);
    shim_ = nullptr;
  }
  return GetModuleHandleA(shimPath().c_str()) == nullptr;
}

}  // namespace kova_test
