// Which RTP stream a call plays. Anyone who can reach the media port can send packets that
// pass for audio; playing them all would let a stray or hostile sender drown the far end.
#pragma once

#include <chrono>
#include <cstdint>

namespace media {

// How long the played stream may fall silent before another one can take its place.
inline constexpr std::chrono::milliseconds kStreamQuiet{300};

// The played stream is the first one heard, told by its source (address and port) and SSRC;
// no address is expected, so a far end behind a NAT, or a media relay, is heard at once.
// Another stream takes over only once the played one has been quiet for kStreamQuiet and
// the newcomer has sent two packets in sequence, which random datagrams never do. A far end
// that changes its SSRC is thus heard again after at most kStreamQuiet.
class TStreamLatch {
 public:
  using Clock = std::chrono::steady_clock;

  // Whether a packet belongs to the played stream (it may become the played stream).
  bool Accept(std::uint64_t source, std::uint32_t ssrc, std::uint16_t sequence,
              Clock::time_point now);

 private:
  struct Stream {
    bool Known = false;
    std::uint64_t Source = 0;
    std::uint32_t SSRC = 0;
    std::uint16_t Sequence = 0;
    Clock::time_point Heard{};

    bool Is(std::uint64_t source, std::uint32_t ssrc) const {
      return Known && Source == source && SSRC == ssrc;
    }
  };

  Stream played_;
  Stream candidate_;
};

}  // namespace media
