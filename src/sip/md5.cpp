#include "sip/md5.h"

#include <algorithm>
#include <cstring>

namespace sip {

namespace {

// Per-round shift amounts and sine-derived constants, RFC 1321 section 3.4.
constexpr std::uint32_t kShifts[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                       5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                       4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                       6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::uint32_t kSines[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

std::uint32_t RotateLeft(std::uint32_t value, std::uint32_t count) {
  return (value << count) | (value >> (32 - count));
}

std::uint32_t LoadLittleEndian(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

void StoreLittleEndian(std::uint32_t value, std::uint8_t* bytes) {
  for (int i = 0; i < 4; ++i)
    bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void Transform(std::uint32_t state[4], const std::uint8_t block[64]) {
  std::uint32_t words[16];
  for (int i = 0; i < 16; ++i)
    words[i] = LoadLittleEndian(block + 4 * i);
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t mixed;
    std::uint32_t word;
    switch (i / 16) {
      case 0:
        mixed = (b & c) | (~b & d);
        word = i;
        break;
      case 1:
        mixed = (d & b) | (~d & c);
        word = (5 * i + 1) % 16;
        break;
      case 2:
        mixed = b ^ c ^ d;
        word = (3 * i + 5) % 16;
        break;
      default:
        mixed = c ^ (b | ~d);
        word = (7 * i) % 16;
        break;
    }
    const std::uint32_t rotated = RotateLeft(a + mixed + kSines[i] + words[word], kShifts[i]);
    a = d;
    d = c;
    c = b;
    b += rotated;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void MD5Init(MD5Context& context) {
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
  context.Count[0] = context.Count[1] = 0;
}

void MD5Update(MD5Context& context, const void* bytes, std::size_t length) {
  const auto* input = static_cast<const std::uint8_t*>(bytes);
  std::size_t used = (context.Count[0] >> 3) & 0x3F;
  const std::uint64_t bits =
      (static_cast<std::uint64_t>(context.Count[1]) << 32 | context.Count[0]) +
      (static_cast<std::uint64_t>(length) << 3);
  context.Count[0] = static_cast<std::uint32_t>(bits);
  context.Count[1] = static_cast<std::uint32_t>(bits >> 32);
  while (length > 0) {
    const std::size_t take = std::min<std::size_t>(64 - used, length);
    std::memcpy(context.Buffer + used, input, take);
    used += take;
    input += take;
    length -= take;
    if (used == 64) {
      Transform(context.State, context.Buffer);
      used = 0;
    }
  }
}

void MD5Final(MD5Context& context, MD5Digest& digest) {
  std::uint8_t lengthBytes[8];
  StoreLittleEndian(context.Count[0], lengthBytes);
  StoreLittleEndian(context.Count[1], lengthBytes + 4);
  // Pad with 0x80 then zeros up to 56 bytes modulo 64, then the 64-bit length.
  const std::size_t used = (context.Count[0] >> 3) & 0x3F;
  const std::size_t padLength = used < 56 ? 56 - used : 120 - used;
  static constexpr std::uint8_t kPadding[64] = {0x80};
  MD5Update(context, kPadding, padLength);
  MD5Update(context, lengthBytes, sizeof lengthBytes);
  for (int i = 0; i < 4; ++i)
    StoreLittleEndian(context.State[i], digest.data() + 4 * i);
  // The context held the password's digest input: leave nothing of it behind.
  volatile std::uint8_t* wipe = reinterpret_cast<volatile std::uint8_t*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i)
    wipe[i] = 0;
}

void MD5String(const std::string& text, MD5Digest& digest) {
  MD5Context context;
  MD5Init(context);
  MD5Update(context, text.data(), text.size());
  MD5Final(context, digest);
}

std::string MD5Print(const MD5Digest& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(32);
  for (const std::uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

}  // namespace sip
