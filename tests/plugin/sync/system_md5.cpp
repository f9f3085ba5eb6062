// The system's own MD5 through BCrypt (see system_md5.h).
#include "system_md5.h"

#include <bcrypt.h>

#include <cstdio>

SystemMd5::SystemMd5() {
  BCRYPT_ALG_HANDLE alg = nullptr;
  if (BCryptOpenAlgorithmProvider(&alg, BCRYPT_MD5_ALGORITHM, nullptr, 0) == 0) alg_ = alg;
}

SystemMd5::~SystemMd5() {
  if (alg_) BCryptCloseAlgorithmProvider(static_cast<BCRYPT_ALG_HANDLE>(alg_), 0);
}

bool SystemMd5::Digest(const void* data, ULONG length, unsigned char digest[16]) const {
  if (!alg_) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (BCryptCreateHash(static_cast<BCRYPT_ALG_HANDLE>(alg_), &hash, nullptr, 0, nullptr, 0, 0) != 0)
    return false;
  bool ok = BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)), length, 0) == 0 &&
            BCryptFinishHash(hash, digest, 16, 0) == 0;
  BCryptDestroyHash(hash);
  return ok;
}

std::string DigestHex(const unsigned char digest[16]) {
  char hex[33] = {};
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
  return hex;
}
