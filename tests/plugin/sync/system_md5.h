// The system's own MD5 (BCrypt), the reference our MD5Digest is checked and measured against.
#pragma once

#include <windows.h>

#include <string>

class SystemMd5 {
 public:
  SystemMd5();
  ~SystemMd5();
  SystemMd5(const SystemMd5&) = delete;
  SystemMd5& operator=(const SystemMd5&) = delete;

  // False when the system offers no MD5 provider.
  bool ok() const { return alg_ != nullptr; }
  // The 16 digest bytes of `length` bytes at `data`; false when the system call fails.
  bool Digest(const void* data, ULONG length, unsigned char digest[16]) const;

 private:
  void* alg_ = nullptr;  // BCRYPT_ALG_HANDLE
};

// 32 lower-case hexadecimal characters of a 16-byte digest.
std::string DigestHex(const unsigned char digest[16]);
