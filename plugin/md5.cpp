// MD5 as RFC 1321 defines it. The state lives only during one MD5Digest call: four chaining
// words, a 64-bit byte count in two 32-bit halves, and a 64-byte buffer for a partial block.
#include "md5.h"

#include <cstdint>
#include <cstring>

namespace {

struct Md5State {
  uint32_t abcd[4];
  uint32_t count[2];  // bytes processed: low half, high half
  unsigned char buffer[64];
};

inline uint32_t Load32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);  // the targets are little-endian, as MD5's words are
  return v;
}

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// One step of each round: a = b + ((a + f(b,c,d) + x + t) <<< s). The round functions are written
// in their equivalent forms with one operation fewer than the RFC's.
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  do {                                   \
    (a) += f((b), (c), (d)) + (x) + (t); \
    (a) = Rotl((a), (s)) + (b);          \
  } while (0)
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
// G is (x & z) | (y & ~z); the two terms never share a bit, so a sum gives the same value and
// lets the additions of the step run side by side.
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// Transforms `blocks` consecutive 64-byte blocks into the chaining words.
void Transform(uint32_t abcd[4], const unsigned char* p, size_t blocks) {
  uint32_t a = abcd[0], b = abcd[1], c = abcd[2], d = abcd[3];
  for (; blocks > 0; --blocks, p += 64) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = Load32(p + 4 * i);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, x[1], 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[6], 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[11], 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[0], 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[5], 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[10], 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[15], 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[4], 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[9], 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[14], 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[3], 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[8], 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, x[13], 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, x[2], 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, x[7], 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, x[12], 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  abcd[0] = a;
  abcd[1] = b;
  abcd[2] = c;
  abcd[3] = d;
}

void Init(Md5State& s) {
  s.abcd[0] = 0x67452301;
  s.abcd[1] = 0xefcdab89;
  s.abcd[2] = 0x98badcfe;
  s.abcd[3] = 0x10325476;
  s.count[0] = s.count[1] = 0;
}

void Update(Md5State& s, const unsigned char* in, size_t len) {
  const size_t used = s.count[0] & 63;
  const uint32_t low = s.count[0] + static_cast<uint32_t>(len);
  if (low < s.count[0]) ++s.count[1];  // carry of the low half into the high half
  s.count[0] = low;
  s.count[1] += static_cast<uint32_t>(static_cast<uint64_t>(len) >> 32);

  if (used > 0) {
    const size_t room = 64 - used;
    if (len < room) {
      std::memcpy(s.buffer + used, in, len);
      return;
    }
    std::memcpy(s.buffer + used, in, room);
    Transform(s.abcd, s.buffer, 1);
    in += room;
    len -= room;
  }
  Transform(s.abcd, in, len / 64);
  in += len & ~static_cast<size_t>(63);
  len &= 63;
  if (len > 0) std::memcpy(s.buffer, in, len);
}

void Final(Md5State& s, unsigned char digest[16]) {
  // Padding: 0x80, zeros up to 56 mod 64, then the length in bits as 64-bit little-endian.
  unsigned char bits[8];
  const uint32_t lo = s.count[0] << 3;
  const uint32_t hi = (s.count[1] << 3) | (s.count[0] >> 29);
  std::memcpy(bits, &lo, 4);
  std::memcpy(bits + 4, &hi, 4);

  static const unsigned char kPad[64] = {0x80};
  const size_t used = s.count[0] & 63;
  Update(s, kPad, used < 56 ? 56 - used : 120 - used);
  Update(s, bits, 8);
  std::memcpy(digest, s.abcd, 16);
}

}  // namespace

void MD5Digest(const void* data, unsigned int length, unsigned char digest[16]) {
  Md5State s;
  Init(s);
  if (length > 0) Update(s, static_cast<const unsigned char*>(data), length);
  Final(s, digest);
}
