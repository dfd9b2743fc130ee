// The audio server's devices, listed off the main thread: a listing is four round trips to the
// server, and a server that does not answer takes seconds over each. One thread does what is
// asked of it in turn and posts each listing to the window, inside a message; a listing asked
// for while one is under way follows it, once.
// Threads: the operations and the destructor on the main thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <thread>

#include "platform/WaveDevice.h"

namespace platform {

// Window message carrying a DeviceListing.

class WaveDeviceLister {
 public:
  WaveDeviceLister(WaveBackend& wave, const Window& window);
  // Waits for the round trip under way, if any (the backend bounds it); a listing not yet
  // delivered never is.
  ~WaveDeviceLister();
  WaveDeviceLister(const WaveDeviceLister&) = delete;
  WaveDeviceLister& operator=(const WaveDeviceLister&) = delete;

  // Makes the window the backend's device-change watcher, then lists.
  void Watch();
  void List();

 private:
  void Loop(std::stop_token stop);
  DeviceListing Listing(const std::stop_token& stop);

  WaveBackend& wave_;
  const Window window_;
  std::mutex mutex_;
  std::condition_variable_any asked_;
  bool watch_ = false;
  bool list_ = false;
  std::jthread thread_;  // last: it uses everything above
};

}  // namespace platform
