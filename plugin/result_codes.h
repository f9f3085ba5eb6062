// Result codes of the plug-in and their messages (GBK texts).
#pragma once

#include <string>

// The plug-in's own answer to a WebSocket client when the library gives none.
constexpr int CODE_EXCEPTION = 60000;

// The message of a result code, in GBK, or the GBK text for "unknown error" for any code not in
// the table. The returned text is the caller's copy.
std::string GetResultMessage(int code);
