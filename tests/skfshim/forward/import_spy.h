// Watches what a loaded module asks of the system: replaces the module's import-table slots of
// GetProcAddress and the LoadLibrary family with counting wrappers that call the real
// functions. One spy at a time; the slots are restored when it goes away.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace shim_test {

class ImportSpy {
 public:
  explicit ImportSpy(HMODULE module);
  ~ImportSpy();
  ImportSpy(const ImportSpy&) = delete;
  ImportSpy& operator=(const ImportSpy&) = delete;

  // True when the module's GetProcAddress slot was found and replaced.
  bool watchesGetProcAddress() const;
  // How often the module asked GetProcAddress for this name since the spy was made.
  int ProcAddressRequests(const std::string& name) const;
  // Every name the module asked GetProcAddress for, in order.
  std::vector<std::string> ProcAddressNames() const;
  // True when at least the module's LoadLibraryA slot was found and replaced.
  bool watchesLibraryLoads() const { return loadLibraryHooked_; }
  // Calls of LoadLibraryA/W and LoadLibraryExA/W by the module since the spy was made.
  int LibraryLoads() const;

 private:
  struct Slot {
    void** address;
    void* original;
  };
  std::vector<Slot> slots_;
  bool getProcAddressHooked_ = false;
  bool loadLibraryHooked_ = false;
};

}  // namespace shim_test
