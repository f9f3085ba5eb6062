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

namespace {

// Removes a folder (a wide path, "\\?\"-prefixed where needed) and everything below it.
void RemoveTreeWide(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = entry.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = folder + L"\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTreeWide(full);
      } else {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(full.c_str());
      }
    } while (FindNextFileW(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

}  // namespace

bool RemoveTree(const std::string& path) {
  std::string dir = path;
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  // Wide calls with the "\\?\" prefix reach paths beyond MAX_PATH (tests build deep folders).
  std::wstring wide;
  const int n = MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, nullptr, 0);
  if (n > 0) {
    wide.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, dir.c_str(), -1, &wide[0], n);
    wide.resize(static_cast<size_t>(n - 1));
  }
  const bool absolute = wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\';
  const std::wstring folder = absolute ? L"\\\\?\\" + wide : wide;
  RemoveTreeWide(folder);
  return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
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
