// Timestamp and signature of a sync request (see sync_sign.h).
#include "sync_sign.h"

#include <windows.h>

#include <cstdio>

#include "md5.h"

namespace {

// The signing key is used as the 32 ASCII bytes written here; the digits are never decoded.
const char kSyncSignKey[] = "C5A87E2019BD4F6E83D7A0B2E49C1F70";

// Whole seconds since 1970-01-01 00:00:00 UTC, the fraction dropped.
long long UnixSecondsNow() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  const unsigned long long kEpochAsFileTime = 116444736000000000ULL;  // 100 ns units
  return static_cast<long long>((t.QuadPart - kEpochAsFileTime) / 10000000ULL);
}

}  // namespace

std::string SyncSignOf(const std::string& strTimeStamp) {
  std::string signedText(kSyncSignKey, sizeof kSyncSignKey - 1);
  signedText += strTimeStamp;
  unsigned char digest[16] = {};
  MD5Digest(signedText.data(), static_cast<unsigned int>(signedText.size()), digest);
  char hex[64] = {};
  for (int i = 0; i < 16; ++i) std::snprintf(hex + 2 * i, sizeof hex - 2 * i, "%02X", digest[i]);
  return hex;
}

void GetSyncSign(std::string& strSign, std::string& strTimeStamp) {
  char stamp[128] = {};
  std::snprintf(stamp, sizeof stamp, "%lld", UnixSecondsNow());
  strTimeStamp = stamp;
  strSign = SyncSignOf(strTimeStamp);
}
