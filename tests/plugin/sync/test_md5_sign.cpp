// MD5Digest against RFC 1321's own test suite and against the system's MD5 on random inputs;
// the request signature made from it.
#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "md5.h"
#include "sync_sign.h"
#include "sync_test_util.h"
#include "system_md5.h"

namespace {

std::string Md5Hex(const std::string& bytes) {
  unsigned char digest[16];
  MD5Digest(bytes.data(), static_cast<unsigned int>(bytes.size()), digest);
  return DigestHex(digest);
}

std::string SystemMd5Hex(const std::string& bytes) {
  SystemMd5 md5;
  unsigned char digest[16] = {};
  EXPECT_TRUE(md5.Digest(bytes.data(), static_cast<ULONG>(bytes.size()), digest));
  return DigestHex(digest);
}

struct Md5Case {
  const char* input;
  const char* digest;
};

// The test suite of RFC 1321, appendix A.5.
const Md5Case kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},
};

TEST(MD5Digest, GivesTheDigestsOfTheRfc1321TestSuite) {
  for (const Md5Case& c : kRfc1321Suite) {
    EXPECT_EQ(c.digest, Md5Hex(c.input)) << "input \"" << c.input << "\"";
  }
}

TEST(MD5Digest, EmptyInputNeedsNoData) {
  unsigned char digest[16];
  MD5Digest(nullptr, 0, digest);
  EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", DigestHex(digest));
}

TEST(MD5Digest, HashesZeroBytesAndStopsAtTheLength) {
  const std::string withZeros("ab\0cd\0\0", 7);
  EXPECT_EQ(SystemMd5Hex(withZeros), Md5Hex(withZeros));
  // Bytes beyond the length never reach the digest.
  unsigned char digest[16];
  MD5Digest("abcXYZ", 3, digest);
  EXPECT_EQ("900150983cd24fb0d6963f7d28e17f72", DigestHex(digest));
}

// Every length around the padding boundaries (55, 56, 63, 64 and their multiples of 64) is where
// a wrong padding or buffer carry shows.
TEST(MD5Digest, AgreesWithTheSystemAtEveryLengthUpTo300) {
  SystemMd5 system;
  ASSERT_TRUE(system.ok()) << "the system offers no MD5";
  std::string bytes;
  for (int len = 0; len <= 300; ++len) {
    unsigned char ours[16], theirs[16];
    MD5Digest(bytes.data(), static_cast<unsigned int>(bytes.size()), ours);
    ASSERT_TRUE(system.Digest(bytes.data(), static_cast<ULONG>(bytes.size()), theirs));
    ASSERT_EQ(DigestHex(theirs), DigestHex(ours)) << "length " << len;
    bytes.push_back(static_cast<char>(len * 37 + 11));
  }
}

TEST(MD5Digest, AgreesWithTheSystemOnRandomInputsUpTo10000Bytes) {
  SystemMd5 system;
  ASSERT_TRUE(system.ok()) << "the system offers no MD5";
  const unsigned seed = static_cast<unsigned>(std::time(nullptr));
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> length(0, 10000), byte(0, 255);
  for (int round = 0; round < 300; ++round) {
    std::vector<unsigned char> data(static_cast<size_t>(length(rng)));
    for (auto& b : data) b = static_cast<unsigned char>(byte(rng));
    unsigned char ours[16], theirs[16];
    MD5Digest(data.data(), static_cast<unsigned int>(data.size()), ours);
    ASSERT_TRUE(system.Digest(data.data(), static_cast<ULONG>(data.size()), theirs));
    ASSERT_EQ(DigestHex(theirs), DigestHex(ours)) << "seed " << seed << ", length " << data.size();
  }
}

TEST(MD5Digest, UnalignedInputGivesTheSameDigest) {
  std::vector<unsigned char> buffer(1000 + 8);
  for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<unsigned char>(i * 7);
  unsigned char aligned[16];
  std::vector<unsigned char> copy(buffer.begin() + 3, buffer.begin() + 3 + 1000);
  MD5Digest(copy.data(), 1000, aligned);
  for (int offset = 1; offset < 8; ++offset) {
    std::memmove(buffer.data() + offset, copy.data(), 1000);
    unsigned char digest[16];
    MD5Digest(buffer.data() + offset, 1000, digest);
    EXPECT_EQ(DigestHex(aligned), DigestHex(digest)) << "offset " << offset;
  }
}

const char kKey[] = "C5A87E2019BD4F6E83D7A0B2E49C1F70";

TEST(GetSyncSign, SignsTheKeyThenTheTimestampInUpperCaseHex) {
  // The signed text is the 42 bytes key + digits: nothing between, nothing after.
  EXPECT_EQ(SystemMd5UpperHex(std::string(kKey) + "1700000000"), SyncSignOf("1700000000"));
  EXPECT_NE(SystemMd5UpperHex(std::string("1700000000") + kKey), SyncSignOf("1700000000"));
  EXPECT_NE(SystemMd5UpperHex(std::string(kKey) + std::string("1700000000\0", 11)),
            SyncSignOf("1700000000"));
}

TEST(GetSyncSign, TimestampIsTheCurrentUnixTimeAndTheSignatureMatchesIt) {
  std::string sign = "old sign", stamp = "old stamp";
  const long long before = static_cast<long long>(std::time(nullptr));
  GetSyncSign(sign, stamp);
  const long long after = static_cast<long long>(std::time(nullptr));

  ASSERT_EQ(10u, stamp.size()) << stamp;
  EXPECT_EQ(std::string::npos, stamp.find_first_not_of("0123456789")) << stamp;
  const long long value = std::stoll(stamp);
  EXPECT_LE(before, value);
  EXPECT_GE(after, value);

  ASSERT_EQ(32u, sign.size());
  EXPECT_EQ(std::string::npos, sign.find_first_not_of("0123456789ABCDEF")) << sign;
  EXPECT_EQ(SystemMd5UpperHex(kKey + stamp), sign);
}

TEST(GetSyncSign, TwoCallsInOneSecondAgree) {
  // Retried when the clock ticks between the two calls.
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::string sign1, stamp1, sign2, stamp2;
    GetSyncSign(sign1, stamp1);
    GetSyncSign(sign2, stamp2);
    if (stamp1 != stamp2) continue;
    EXPECT_EQ(sign1, sign2);
    return;
  }
  FAIL() << "the clock ticked between every pair of calls";
}

TEST(GetSyncSign, DigestBytesBelow0x10KeepTheirLeadingZero) {
  // Search a few timestamps for a digest whose first byte is below 0x10: its text must still be
  // 32 characters, starting with '0'.
  bool seen = false;
  for (long long t = 1700000000; t < 1700000400 && !seen; ++t) {
    const std::string stamp = std::to_string(t);
    const std::string sign = SyncSignOf(stamp);
    ASSERT_EQ(32u, sign.size()) << stamp;
    if (sign[0] == '0') {
      seen = true;
      EXPECT_EQ(SystemMd5UpperHex(kKey + stamp), sign);
    }
  }
  EXPECT_TRUE(seen);
}

}  // namespace
