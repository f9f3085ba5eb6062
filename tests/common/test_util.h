// Small helpers shared by the test programs: temporary folders, whole-file reads and writes,
// and the folder of the running test program.
#pragma once

#include <windows.h>

#include <string>

namespace kova_test {

// Folder that holds the running test program (with a trailing backslash).
std::string ExeDir();

// Whole file as bytes; empty when it cannot be read (check FileExists where that matters).
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
bool CopyFileTo(const std::string& from, const std::string& to);

// Removes a folder and everything below it, however deep; true when nothing is left.
bool RemoveTree(const std::string& path);

// A fresh, empty folder under the system's temporary folder, removed with its contents when
// the object goes away.
class TempDir {
 public:
  explicit TempDir(const std::string& tag = "kova");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // Path with a trailing backslash.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

}  // namespace kova_test
