// The driver's path beside the shim, built without ever truncating.
#include "driver_path.h"

#include <cstring>

namespace skf {

bool MakeDriverPath(const char* modulePath, UINT codePage, char (&out)[MAX_PATH]) noexcept {
  out[0] = '\0';
  if (modulePath == nullptr) return false;
  // The last separator, stepping over double-byte characters whole (in code page 936 the
  // second byte may be 0x5C, the backslash).
  const char* lastSeparator = nullptr;
  for (const char* p = modulePath; *p != '\0'; ++p) {
    if (*p == '\\') {
      lastSeparator = p;
    } else if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(*p)) && p[1] != '\0') {
      ++p;
    }
  }
  if (lastSeparator == nullptr) return false;
  const size_t folderLength = static_cast<size_t>(lastSeparator - modulePath);
  const size_t nameLength = sizeof kDriverFileName - 1;
  if (folderLength + 1 + nameLength + 1 > MAX_PATH) return false;
  std::memcpy(out, modulePath, folderLength);
  out[folderLength] = '\\';
  std::memcpy(out + folderLength + 1, kDriverFileName, nameLength + 1);
  return true;
}

bool BuildDriverPath(HMODULE self, char (&out)[MAX_PATH]) noexcept {
  out[0] = '\0';
  char modulePath[MAX_PATH];
  const DWORD length = GetModuleFileNameA(self, modulePath, MAX_PATH);
  // 0 is a failure; MAX_PATH means the name was cut to fit the buffer.
  if (length == 0 || length >= MAX_PATH) return false;
  modulePath[length] = '\0';
  return MakeDriverPath(modulePath, AreFileApisANSI() ? CP_ACP : CP_OEMCP, out);
}

}  // namespace skf
