#include "support/TestWave.h"

#include <algorithm>

namespace testsupport {

using namespace platform;

std::vector<WaveDeviceInfo> TestWaveBackend::Listed(const std::vector<std::string>& names) const {
  return Locked([&] {
    std::vector<WaveDeviceInfo> list;
    for (const std::string& name : names)
      list.push_back({name, name});
    return list;
  });
}

// With the lock held: a new handle for device number `device` of `names`.
int TestWaveBackend::Open(const std::vector<std::string>& names, std::int32_t device,
                          const Format& format, Handle& handle) {
  handle = kNoWaveHandle;
  if (!IsTelephoneFormat(format)) return kWaveBadFormat;
  if (device == kWaveDefaultDevice) device = 0;
  if (device < 0 || static_cast<std::size_t>(device) >= names.size()) return kWaveBadDeviceId;
  handle = next_++;
  return kWaveOk;
}

int TestWaveBackend::OutOpen(Handle& handle, std::int32_t device, const Format& format) {
  AfterStall([] { return 0; });
  std::lock_guard lock(mutex_);
  const int result = Open(outputs_, device, format, handle);
  if (result == kWaveOk) out_[handle];
  return result;
}

int TestWaveBackend::InOpen(Handle& handle, std::int32_t device, const Format& format,
                            const Window& window) {
  AfterStall([] { return 0; });
  std::lock_guard lock(mutex_);
  const int result = Open(inputs_, device, format, handle);
  if (result == kWaveOk) in_.emplace(handle, Capture{CaptureQueue(handle, window)});
  return result;
}

int TestWaveBackend::OutWrite(Handle h, Header& header) {
  return On(out_, h, [&](std::deque<Header*>& queue) {
    const int result = QueueHeader(header);
    if (result == kWaveOk) queue.push_back(&header);
    return result;
  });
}

int TestWaveBackend::OutReset(Handle h) {
  return On(out_, h, [](std::deque<Header*>& queue) {
    for (Header* header : queue)
      header->MarkDone();
    queue.clear();
    return kWaveOk;
  });
}

int TestWaveBackend::InAddBuffer(Handle h, Header& header) {
  return On(in_, h, [&](Capture& device) { return device.Queue.Add(header); });
}

int TestWaveBackend::InReset(Handle h) {
  return On(in_, h, [](Capture& device) {
    device.Started = false;
    device.Queue.HandBackAll();
    return kWaveOk;
  });
}

void TestWaveBackend::SetDevices(std::vector<std::string> outputs,
                                 std::vector<std::string> inputs) {
  const std::optional<Window> watcher = Locked([&] {
    outputs_ = std::move(outputs);
    inputs_ = std::move(inputs);
    return watcher_;
  });
  if (watcher) watcher->Post(WindowMessage{kDeviceChange, {}});
}

void TestWaveBackend::Advance(std::chrono::milliseconds elapsed) {
  std::lock_guard lock(mutex_);
  for (auto block = clock_ / kBlockTime; block < (clock_ + elapsed) / kBlockTime; ++block) {
    for (auto& [handle, queue] : out_) {
      if (queue.empty()) continue;
      played_.append(queue.front()->Data, queue.front()->BufferLength);
      queue.front()->MarkDone();
      queue.pop_front();
    }
    for (auto& [handle, device] : in_) {
      if (!device.Started || device.Queue.Empty()) continue;
      feed_.resize(std::max(feed_.size(), kFrameBytes), '\0');
      device.Queue.Take(feed_.data(), kFrameBytes);
      feed_.erase(0, kFrameBytes);
    }
  }
  clock_ += elapsed;
}

}  // namespace testsupport
