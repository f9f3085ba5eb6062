// Small helpers shared by the sync tests and benchmarks: this program's own image, ASCII case
// folding, and the signature the system's MD5 gives for a signed text.
#pragma once

#include <windows.h>

#include <string>

// A process id that no process has, so that opening it fails.
const DWORD kNoSuchPid = 0x7FFFFFF0;

// Full path and file name of this program, as GetModuleFileNameA reports them.
std::string OwnImagePath();
std::string OwnExeName();

std::string AsciiLower(std::string text);
std::string AsciiUpper(std::string text);

// The system's MD5 of `bytes` as 32 upper-case hexadecimal characters (empty when the system's
// MD5 fails).
std::string SystemMd5UpperHex(const std::string& bytes);
