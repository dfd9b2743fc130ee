#include "media/StreamLatch.h"

namespace media {

bool TStreamLatch::Accept(std::uint64_t source, std::uint32_t ssrc, std::uint16_t sequence,
                          Clock::time_point now) {
  const Stream heard{true, source, ssrc, sequence, now};
  if (!played_.Known || played_.Is(source, ssrc)) {
    played_ = heard;
    // A newcomer marked before the played stream spoke again starts over after the next
    // quiet time: only two packets in a row within one quiet spell take over.
    candidate_ = Stream{};
    return true;
  }
  if (now - played_.Heard < kStreamQuiet) return false;
  const bool follows = candidate_.Is(source, ssrc) &&
                       static_cast<std::uint16_t>(candidate_.Sequence + 1) == sequence;
  if (follows) {
    played_ = heard;
    candidate_ = Stream{};
    return true;
  }
  candidate_ = heard;
  return false;
}

}  // namespace media
