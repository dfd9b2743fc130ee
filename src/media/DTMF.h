// In-band DTMF: the linear PCM of a telephone key's two Q.23 tones, in the same format as the
// captured audio (16-bit mono, low byte first, 8000 Hz). The audio engine codes one 30 ms burst
// per key press to A-law and sends it as an ordinary RTP audio packet; there are no
// telephone-event payloads. Pure functions, called on the window's thread.
//
// All arithmetic is single precision, operation by operation, so that the samples are the same
// to the unit on every build: the project compiles with -ffp-contract=off so that no
// multiply-add is fused, and nothing is computed in a wider type.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace media {

struct TDTMFPair {
  std::uint16_t Row;     // Hz
  std::uint16_t Column;  // Hz
};

// Indexed by key number: 0 to 9 the digits, 10 '*', 11 '#', 12 to 15 'A' to 'D'.
inline constexpr std::array<TDTMFPair, 16> DTMFFrequencies = {{
    {941, 1336},  // 0
    {697, 1209},  // 1
    {697, 1336},  // 2
    {697, 1477},  // 3
    {770, 1209},  // 4
    {770, 1336},  // 5
    {770, 1477},  // 6
    {852, 1209},  // 7
    {852, 1336},  // 8
    {852, 1477},  // 9
    {941, 1209},  // *
    {941, 1477},  // #
    {697, 1633},  // A
    {770, 1633},  // B
    {852, 1633},  // C
    {941, 1633},  // D
}};

// `size` bytes holding size / 2 samples of the key's two tones, each at 0.45 of full scale,
// both starting at phase 0, no ramp. A key number outside 0..15, or a negative size, gives
// the empty string; an odd size leaves the last byte zero.
std::string DTMFTone(std::int32_t key, std::int32_t size);
// sin(WrapPhase(frequency * time)).
float ToneSample(float time, float frequency);
// The phase reduced towards zero by whole turns of 6.2831855.
float WrapPhase(float phase);

}  // namespace media
