// The hand-off to the main (window) thread. Receive threads give each complete message to the
// main thread with a synchronous Send and wait while it is handled there, so the buffers they
// fill need no lock; devices Post notifications without waiting. The protocol code depends on
// this interface only: the window supplies a Qt implementation, tests an EventLoopHandOff.
#pragma once

#include <cstdint>
#include <stop_token>

namespace platform {

struct WindowMessage {
  std::uint32_t Message = 0;
  std::uintptr_t WParam = 0;
  std::intptr_t LParam = 0;
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

  // Queues the message for the main thread and returns at once.
  virtual void Post(MessageTarget& target, const WindowMessage& message) = 0;
};

// A "window handle" as the protocol objects are created with: where their messages go.
struct Window {
  HandOff* Channel = nullptr;
  MessageTarget* Target = nullptr;
};

}  // namespace platform
