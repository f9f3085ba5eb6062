// Text in code page 936 (GBK) made from UTF-8, through the system's own conversion tables: the
// tests' oracle for the plug-in's GBK texts.
#pragma once

#include <windows.h>

#include <string>

namespace kova_test {

inline std::string Utf8ToCodePage(const std::string& utf8, UINT code_page) {
  if (utf8.empty()) return std::string();
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                        static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                      &wide[0], units);
  const int bytes =
      WideCharToMultiByte(code_page, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(code_page, 0, wide.data(), units, &out[0], bytes, nullptr, nullptr);
  return out;
}

inline std::string Gbk(const std::string& utf8) { return Utf8ToCodePage(utf8, 936); }

}  // namespace kova_test
