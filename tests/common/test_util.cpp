// Small helpers shared by the test programs (see test_util.h).
#include "test_util.h"

#include <atomic>
#include <cstdio>

namespace kova_test {

std::string ExeDir() {
  char buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
  std::string p(buf, n);
  return p.substr(0, p.find_last_of('\\') + 1);
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
  return CopyFileA(from.c_str(), to.c_str(), /*bFailIfExists=*/FALSE) != FALSE;
}

bool RemoveTree(const std::string& path) {
  std::string dir = path;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = dir + "\\" + name;
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(full);
      } else {
        SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(full.c_str());
      }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
  return !FileExists(dir);
}

TempDir::TempDir(const std::string& tag) {
  static std::atomic<unsigned> counter{0};
  char tmp[MAX_PATH];
  GetTempPathA(sizeof tmp, tmp);
  for (;;) {
    char name[MAX_PATH + 64];
    std::snprintf(name, sizeof name, "%s%s-%lu-%u", tmp, tag.c_str(), GetCurrentProcessId(),
                  counter.fetch_add(1));
    if (CreateDirectoryA(name, nullptr)) {
      path_ = std::string(name) + "\\";
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      path_ = std::string(name) + "\\";  // creation failed; tests will see it on first use
      return;
    }
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

}  // namespace kova_test
