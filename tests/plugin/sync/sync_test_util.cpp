// Small helpers shared by the sync tests and benchmarks (see sync_test_util.h).
#include "sync_test_util.h"

#include "system_md5.h"

std::string OwnImagePath() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, n < MAX_PATH ? n : 0);
}

std::string OwnExeName() {
  const std::string path = OwnImagePath();
  return path.substr(path.find_last_of('\\') + 1);
}

std::string AsciiLower(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return text;
}

std::string AsciiUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return text;
}

std::string SystemMd5UpperHex(const std::string& bytes) {
  SystemMd5 md5;
  unsigned char digest[16] = {};
  if (!md5.Digest(bytes.data(), static_cast<ULONG>(bytes.size()), digest)) return std::string();
  return AsciiUpper(DigestHex(digest));
}
