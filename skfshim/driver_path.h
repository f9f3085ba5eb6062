// Where the shim finds the vendor driver: the file "tvr6142_q8207_x64.gmd" in the shim's own
// folder, never a path that had to be cut short.
#pragma once

#include <windows.h>

namespace skf {

inline constexpr char kDriverFileName[] = "tvr6142_q8207_x64.gmd";

// Builds "<folder of modulePath>\tvr6142_q8207_x64.gmd" into out. False, with out empty, when
// modulePath is null or has no folder part, or when the result would not fit in MAX_PATH
// characters with its terminating zero. modulePath is 8-bit text in code page codePage; a
// backslash byte that is the second byte of a double-byte character is no separator.
bool MakeDriverPath(const char* modulePath, UINT codePage, char (&out)[MAX_PATH]) noexcept;

// The driver path for the module self, from its full file name. False when that name cannot
// be read whole into MAX_PATH characters, or when MakeDriverPath refuses it.
bool BuildDriverPath(HMODULE self, char (&out)[MAX_PATH]) noexcept;

}  // namespace skf
