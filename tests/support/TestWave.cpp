#include "support/TestWave.h"

#include <algorithm>

namespace testsupport {

using namespace platform;

std::vector<WaveDeviceInfo> TestWaveBackend::Listed(const std::vector<std::string>& names) {
  const auto lock = AfterStall();
  std::vector<WaveDeviceInfo> list;
  for (const std::string& name : names)
    list.push_back({name, name});
  return list;
}

void TestWaveBackend::SetDevices(std::vector<std::string> outputs,
                                 std::vector<std::string> inputs) {
  std::unique_lock lock(mutex_);
  outputs_ = std::move(outputs);
  inputs_ = std::move(inputs);
  const std::optional<Window> watcher = watcher_;
  lock.unlock();
  if (watcher) watcher->Post(WindowMessage{platform::MessageNumber::DeviceChange, {}});
}

void TestWaveBackend::Advance(std::chrono::milliseconds elapsed) {
  std::vector<std::function<void()>> posts;
  std::unique_lock lock(mutex_);
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
      device.Posts->MoveTo(posts);
    }
  }
  clock_ += elapsed;
  lock.unlock();
  for (const auto& post : posts)
    post();
}

}  // namespace testsupport
