// JSON texts as the plug-in sends them: written compactly from a Json::Value, then converted
// from the system's ANSI code page to UTF-8.
#pragma once

#include <json/value.h>

#include <string>

// The compact form of a value: no whitespace anywhere, no line feed at the end, the members of
// every object in ascending byte order of their keys, strings quoted with '"', '\\' and the
// control characters escaped and every byte from 0x80 up copied unchanged (so ANSI texts stay
// raw inside the quotes until AnsiToUtf8 converts the whole text). May throw std::bad_alloc.
std::string WriteJsonText(const Json::Value& root);

// Converts 8-bit text in the system's ANSI code page (CP_ACP) to UTF-8. Empty input, or a
// conversion the system refuses, gives an empty text; invalid input bytes are converted the way
// the system converts them without the flag for invalid characters. May throw std::bad_alloc.
std::string AnsiToUtf8(const std::string& text);
