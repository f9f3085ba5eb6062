// Compact JSON writing and the ANSI to UTF-8 conversion of the plug-in's outgoing texts.
#include "json_text.h"

#include <json/writer.h>
#include <windows.h>

#include <limits>

std::string WriteJsonText(const Json::Value& root) {
  // The compact writer of this jsoncpp release escapes every byte from 0x80 up as \u of a UTF-8
  // decoding, which garbles ANSI texts; the stream writer with "emitUTF8" copies those bytes and
  // with an empty indentation writes the same compact form.
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  builder["commentStyle"] = "None";
  return Json::writeString(builder, root);
}

std::string AnsiToUtf8(const std::string& text) {
  if (text.empty() || text.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    return std::string();
  }
  const int bytes = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
  if (units <= 0) return std::string();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, &wide[0], units);
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, &utf8[0], length, nullptr, nullptr);
  return utf8;
}
