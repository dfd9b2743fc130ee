// The receive thread of a protocol client: it loops over one blocking receive, and hands each
// result to the main thread with a synchronous Send, waiting while the main thread handles it.
//
// Stop never kills the thread and never waits on it for long. The receive is woken through
// the interrupt the client supplies; a hand-off still queued is withdrawn; and when Stop is
// called from inside the thread's own hand-off (a handler that closes its client), the thread
// is let go: once the handler returns it sees the stop and ends without touching its client
// again. In every case no hand-off is delivered after Stop.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "platform/HandOff.h"

namespace platform {

class ReceiveThread {
 public:
  // One receive on the thread; returns the message to hand over, if the datagram yields one.
  using Receive = std::function<std::optional<WindowMessage>()>;
  // Wakes a Receive that is blocked; called by Stop on the main thread.
  using Interrupt = std::function<void()>;

  ReceiveThread() = default;
  ~ReceiveThread();
  ReceiveThread(const ReceiveThread&) = delete;
  ReceiveThread& operator=(const ReceiveThread&) = delete;

  // Main thread. Starts a new thread; a thread still running is stopped first. With
  // `endAfterHandOff` the thread ends once one message has been handled (a client that waits
  // for a single answer).
  void Start(const Window& window, Receive receive, Interrupt interrupt,
             bool endAfterHandOff = false);
  // Main thread. Safe to call when nothing runs, and from inside the thread's own hand-off.
  void Stop();
  // Whether a thread was started and has neither ended nor been stopped (the handle is not 0).
  bool Running() const;

 private:
  struct Shared;
  static void Loop(std::shared_ptr<Shared> shared, HandOff* channel, Receive receive,
                   bool endAfterHandOff);

  std::shared_ptr<Shared> shared_;
  std::thread thread_;
  Interrupt interrupt_;
};

}  // namespace platform
