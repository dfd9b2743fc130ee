#include "media/G711.h"

#include <array>
#include <bit>
#include <cstring>

namespace media {

namespace {

using Sample = std::int16_t;

// Exclusive-or that G.711 applies to every transmitted A-law byte (even bits inverted).
constexpr Sample kEvenBitInversion = 0x55;
constexpr Sample kSignBit = 0x80;

// The per-sample code below is written for the vectoriser: 16-bit signed values only (eight
// to a vector register), no branches, no variable shifts (most vector units have none). Each
// decision is a comparison turned into an all-ones or all-zero mask, and each choice a
// Select on that mask. The decoder, written the same way, fills the look-up table.
constexpr Sample MaskIf(bool condition) {
  return static_cast<Sample>(-static_cast<Sample>(condition));
}
constexpr Sample Select(Sample mask, Sample ifSet, Sample ifClear) {
  return static_cast<Sample>((ifSet & mask) | (ifClear & ~mask));
}

inline std::uint8_t EncodeSample(Sample sample) {
  const auto negative = static_cast<Sample>(sample >> 15);  // all ones below zero
  // Below zero the magnitude is -sample - 8, never less than 0: the decision levels of
  // negative samples lie one 13-bit step lower than those of positive ones. sample ^ negative
  // is -sample - 1 there, 32767 for -32768, so nothing overflows 16 bits.
  auto magnitude = static_cast<Sample>((sample ^ negative) - (negative & 7));
  magnitude = Select(MaskIf(magnitude < 0), 0, magnitude);
  const auto mask = static_cast<Sample>(kEvenBitInversion | (~negative & kSignBit));

  // Segments 0 and 1 quantise in steps of 16, each higher segment in steps twice as large.
  // Halving `level` until it is below 32 counts the segments above 1; then
  // (segment << 4) | mantissa is (halvings << 4) + level for every segment.
  auto level = static_cast<Sample>(magnitude >> 4);  // below 2048
  const Sample byFour = MaskIf(level > 255);
  level = Select(byFour, static_cast<Sample>(level >> 4), level);
  const Sample byTwo = MaskIf(level > 63);
  level = Select(byTwo, static_cast<Sample>(level >> 2), level);
  const Sample byOne = MaskIf(level > 31);
  level = Select(byOne, static_cast<Sample>(level >> 1), level);
  const auto segments =
      static_cast<Sample>((byFour & (4 << 4)) + (byTwo & (2 << 4)) + (byOne & (1 << 4)));
  return static_cast<std::uint8_t>((segments + level) ^ mask);
}

constexpr Sample DecodeSample(std::uint8_t code) {
  const auto a = static_cast<Sample>(code ^ kEvenBitInversion);
  const auto segment = static_cast<Sample>((a >> 4) & 7);
  const auto step = static_cast<Sample>((a & 15) << 4);
  // Segment 0: the step plus half a step of 16. Segments 1 to 7: the step plus the segment's
  // base, doubled segment - 1 times, done as three selected shifts by 1, 2 and 4.
  const Sample first = MaskIf(segment == 0);
  auto magnitude = Select(first, static_cast<Sample>(step + 8), static_cast<Sample>(step + 264));
  const auto doublings = static_cast<Sample>((segment - 1) & ~first);
  magnitude = Select(MaskIf((doublings & 1) != 0), static_cast<Sample>(magnitude << 1), magnitude);
  magnitude = Select(MaskIf((doublings & 2) != 0), static_cast<Sample>(magnitude << 2), magnitude);
  magnitude = Select(MaskIf((doublings & 4) != 0), static_cast<Sample>(magnitude << 4), magnitude);
  const Sample negative = MaskIf((a & kSignBit) == 0);
  return static_cast<Sample>((magnitude ^ negative) - negative);
}

// Decoding is a look-up: 256 codes, 512 bytes that stay in the first-level cache, one load a
// sample on any x86-64, faster than the vectorised computation even with AVX2.
constexpr auto kDecoded = [] {
  std::array<Sample, 256> table{};
  for (std::size_t code = 0; code < table.size(); ++code)
    table[code] = DecodeSample(static_cast<std::uint8_t>(code));
  return table;
}();

// One 10 ms unit. Fixed trip counts and unaliased buffers let the compiler vectorise these
// loops without run-time checks or remainders.
void EncodeUnit(const unsigned char* __restrict in, unsigned char* __restrict out) {
  Sample samples[kSamplesPerUnit];
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(samples, in, sizeof samples);  // already low byte first
  } else {
    for (std::size_t i = 0; i < kSamplesPerUnit; ++i) {
      samples[i] =
          static_cast<Sample>(static_cast<std::uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
    }
  }
  for (std::size_t i = 0; i < kSamplesPerUnit; ++i)
    out[i] = EncodeSample(samples[i]);
}

void DecodeUnit(const unsigned char* __restrict in, unsigned char* __restrict out) {
  Sample samples[kSamplesPerUnit];
  for (std::size_t i = 0; i < kSamplesPerUnit; ++i)
    samples[i] = kDecoded[in[i]];
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, samples, sizeof samples);  // low byte first already
  } else {
    for (std::size_t i = 0; i < kSamplesPerUnit; ++i) {
      const auto bits = static_cast<std::uint16_t>(samples[i]);
      out[2 * i] = static_cast<unsigned char>(bits & 0xFF);
      out[2 * i + 1] = static_cast<unsigned char>(bits >> 8);
    }
  }
}

}  // namespace

std::string ALawEncode(std::string_view linear) {
  if (linear.size() % kLinearBytesPerUnit != 0) return {};
  std::string alaw(linear.size() / 2, '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(linear.data());
  auto* out = reinterpret_cast<unsigned char*>(alaw.data());
  for (std::size_t unit = 0; unit < alaw.size() / kALawBytesPerUnit; ++unit) {
    EncodeUnit(in + unit * kLinearBytesPerUnit, out + unit * kALawBytesPerUnit);
  }
  return alaw;
}

std::string ALawDecode(std::string_view alaw) {
  if (alaw.size() % kALawBytesPerUnit != 0) return {};
  std::string linear(alaw.size() * 2, '\0');
  const auto* in = reinterpret_cast<const unsigned char*>(alaw.data());
  auto* out = reinterpret_cast<unsigned char*>(linear.data());
  for (std::size_t unit = 0; unit < alaw.size() / kALawBytesPerUnit; ++unit) {
    DecodeUnit(in + unit * kALawBytesPerUnit, out + unit * kLinearBytesPerUnit);
  }
  return linear;
}

}  // namespace media
