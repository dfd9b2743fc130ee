// The hand-off to the main (window) thread. Receive threads give each complete message to the
// main thread with a synchronous Send and wait while it is handled there; devices Post
// notifications without waiting. What a message hands over travels inside it, as a typed
// value: nothing is left in a buffer for the main thread to read behind the message. The
// protocol code depends on this interface only: the window supplies a Qt implementation, the
// core's tests an event loop of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <string>
#include <variant>

#include "platform/DeviceListing.h"
#include "platform/Messages.h"

namespace platform {

struct WaveHeader;
using WaveHandle = std::uint32_t;

// A text message framed by a receive thread: its header block (up to the CR LF that ends the
// last header line) and its body.
struct FramedMessage {
  std::string HeaderBlock;
  std::string Body;
};

// An IPv4 address and port as a peer reported them.
struct Endpoint {
  std::uint32_t Address = 0;  // network byte order
  std::uint16_t Port = 0;     // host order
};

// A capture block the device has filled. The header stays the audio engine's; the block is
// given back to `Device` once handled.
struct CaptureBlock {
  WaveHandle Device = 0;
  WaveHeader* Header = nullptr;
};

// A capture block's samples, as the audio engine sent them or kept them back as silence.
struct CapturedSamples {
  std::string Samples;
};

// A host name and the address it resolved to (all ones when it did not).
struct ResolvedName {
  std::string Host;
  std::uint32_t Address = 0;  // network byte order
};

// A text for the window to show, once the hand-off that produced it has returned.
struct Notice {
  std::string Text;
};

struct WindowMessage {
  MessageNumber Message = MessageNumber::None;
  std::variant<std::monostate, FramedMessage, Endpoint, CaptureBlock, CapturedSamples, ResolvedName,
               DeviceListing, Notice>
      Data;
};

// What a window procedure is: the receiver of hand-off messages, always on the main thread.
class MessageTarget {
 public:
  virtual void HandleWindowMessage(const WindowMessage& message) = 0;

 protected:
  ~MessageTarget() = default;
};

class HandOff {
 public:
  virtual ~HandOff() = default;

  // Runs target.HandleWindowMessage(message) on the main thread and returns when it is done.
  // When `stop` is requested before the delivery has begun, the message is never delivered
  // and Send returns false at once. Called on the main thread, it delivers directly.
  virtual bool Send(MessageTarget& target, const WindowMessage& message, std::stop_token stop) = 0;

  // Queues the message for the main thread and returns at once. When `stop` is requested
  // before the delivery has begun (its target is going away), the message is dropped.
  virtual void Post(MessageTarget& target, const WindowMessage& message, std::stop_token stop) = 0;

  // On the main thread: delivers the message there once `delay` has passed, the thread free
  // meanwhile; dropped as Post's when `stop` is requested first.
  virtual void PostAfter(MessageTarget& target, const WindowMessage& message,
                         std::chrono::milliseconds delay, std::stop_token stop) = 0;
};

// A "window handle" as the protocol objects are created with: where their messages go.
struct Window {
  HandOff* Channel = nullptr;
  MessageTarget* Target = nullptr;

  // Posts `message` when there is somewhere to post it.
  void Post(const WindowMessage& message, std::stop_token stop = {}) const {
    if (Channel != nullptr && Target != nullptr) Channel->Post(*Target, message, std::move(stop));
  }
  void PostAfter(const WindowMessage& message, std::chrono::milliseconds delay,
                 std::stop_token stop) const {
    if (Channel != nullptr && Target != nullptr) {
      Channel->PostAfter(*Target, message, delay, std::move(stop));
    }
  }
};

}  // namespace platform
