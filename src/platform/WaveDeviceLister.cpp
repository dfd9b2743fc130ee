#include "platform/WaveDeviceLister.h"

#include <utility>

#include "platform/ThreadName.h"

namespace platform {

WaveDeviceLister::WaveDeviceLister(WaveBackend& wave, const Window& window)
    : wave_(wave), window_(window), thread_([this](std::stop_token stop) { Loop(stop); }) {}

WaveDeviceLister::~WaveDeviceLister() {
  thread_.request_stop();
  thread_.join();
}

void WaveDeviceLister::Watch() {
  std::lock_guard lock(mutex_);
  watch_ = list_ = true;
  asked_.notify_one();
}

void WaveDeviceLister::List() {
  std::lock_guard lock(mutex_);
  list_ = true;
  asked_.notify_one();
}

void WaveDeviceLister::Loop(std::stop_token stop) {
  NameThisThread("device lister");
  for (;;) {
    bool watch = false;
    {
      std::unique_lock lock(mutex_);
      if (!asked_.wait(lock, stop, [this] { return list_; })) return;
      watch = std::exchange(watch_, false);
      list_ = false;
    }
    if (watch) wave_.WatchDevices(window_);
    DeviceListing listing = Listing(stop);
    if (stop.stop_requested()) return;
    // With the stop token: once this object is gone, the listing is dropped undelivered.
    window_.Post(WindowMessage{MessageNumber::DeviceListing, std::move(listing)}, stop);
  }
}

DeviceListing WaveDeviceLister::Listing(const std::stop_token& stop) {
  DeviceListing listing;
  // Each round trip may take the backend's whole time-out: none is begun once stopped.
  if (!stop.stop_requested()) listing.Outputs = wave_.OutputDevices();
  if (!stop.stop_requested()) listing.DefaultOutput = wave_.DefaultOutput();
  if (!stop.stop_requested()) listing.Inputs = wave_.InputDevices();
  if (!stop.stop_requested()) listing.DefaultInput = wave_.DefaultInput();
  return listing;
}

}  // namespace platform
