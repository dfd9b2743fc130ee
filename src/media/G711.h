// G.711 A-law (payload type 8): the captured 16-bit frames and the DTMF bursts are coded with
// ALawEncode before they are sent, and every accepted RTP payload is decoded with ALawDecode
// before it is played. Each sample is coded on its own by comparisons and shifts: there is no
// lookup table, gain, filter or clipping stage, and every 16-bit input has a code.
//
// Both buffer operations are pure, take no lock and allocate their result once, so that they
// can run on the window's thread (encoding) and the playback thread (decoding) per packet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace media {

// 10 ms at 8000 Hz: the buffer operations accept whole multiples of this unit only.
inline constexpr std::size_t kSamplesPerUnit = 80;
inline constexpr std::size_t kLinearBytesPerUnit = 2 * kSamplesPerUnit;
inline constexpr std::size_t kALawBytesPerUnit = kSamplesPerUnit;

// Signed 16-bit samples, low byte first, to one A-law code per sample. An input whose length
// is not a multiple of 160 bytes gives the empty string.
std::string ALawEncode(std::string_view linear);
// One A-law code per sample to signed 16-bit samples, low byte first. An input whose length
// is not a multiple of 80 bytes gives the empty string.
std::string ALawDecode(std::string_view alaw);

}  // namespace media
