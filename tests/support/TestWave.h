// An in-process wave backend for tests: no audio server and no wall clock. Time moves only when
// the test calls Advance; every 30 ms each open playback device consumes its oldest queued
// block (kept for the test to read) and each started capture device fills its oldest block from
// the feed the test supplies. Changing the device lists Posts platform::MessageNumber::DeviceChange
// to the watcher. Capture notifications are posted once the backend has let go of its lock, as
// from a device's own thread, so that their receiver may give the block back at once. Stall makes
// it an audio server that does not answer: opening a device, listing or watching the devices then
// waits until Release (at most the stall's limit, which Expired then tells).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/WaveDevice.h"

namespace testsupport {

class TestWaveBackend final : public platform::WaveBackend {
  // The lock, taken once the server answers: after Release, or the stall's limit at the latest.
  std::unique_lock<std::mutex> AfterStall() {
    std::unique_lock lock(mutex_);
    if (!released_.wait_for(lock, stallLimit_, [this] { return !stalled_; })) expired_ = true;
    return lock;
  }
  // Under the lock: the action's result, or for a device that is not open, kWaveInvalidHandle.
  template <typename Devices, typename Action>
  int On(Devices& devices, platform::WaveHandle handle, Action action) {
    std::lock_guard lock(mutex_);
    const auto found = devices.find(handle);
    return found == devices.end() ? platform::kWaveInvalidHandle : action(found->second);
  }
  template <typename Devices, typename Busy>
  int Close(Devices& devices, platform::WaveHandle handle, Busy busy) {
    return On(devices, handle, [&](auto& device) {
      const int result = platform::CloseResult(busy(device));
      if (result == platform::kWaveOk) devices.erase(handle);
      return result;
    });
  }

 public:
  static constexpr std::chrono::milliseconds kBlockTime{30};
  static constexpr std::chrono::seconds kStallLimit{5};
  using Handle = platform::WaveHandle;
  using Header = platform::WaveHeader;
  using Format = platform::WaveFormat;

  std::vector<platform::WaveDeviceInfo> OutputDevices() override { return Listed(outputs_); }
  std::vector<platform::WaveDeviceInfo> InputDevices() override { return Listed(inputs_); }
  std::string DefaultOutput() override { return First(outputs_); }
  std::string DefaultInput() override { return First(inputs_); }
  bool WatchDevices(const platform::Window& window) override {
    const auto lock = AfterStall();
    watcher_ = window;
    return true;
  }
  void UnwatchDevices() override {
    std::lock_guard lock(mutex_);
    watcher_.reset();
  }

  int OutOpen(Handle& handle, std::int32_t device, const Format&) override {
    const auto lock = AfterStall();
    return Open(outputs_, device, handle, [&] { out_[handle]; });
  }
  int OutPrepareHeader(Handle h, Header& header) override {
    return On(out_, h, [&](auto&) { return platform::PrepareHeader(header); });
  }
  int OutWrite(Handle h, Header& header) override {
    return On(out_, h, [&](std::deque<Header*>& queue) {
      const int result = platform::QueueHeader(header);
      if (result == platform::kWaveOk) queue.push_back(&header);
      return result;
    });
  }
  int OutReset(Handle h) override {
    return On(out_, h, [](std::deque<Header*>& queue) {
      for (Header* header : queue)
        header->MarkDone();
      queue.clear();
      return platform::kWaveOk;
    });
  }
  int OutUnprepareHeader(Handle h, Header& header) override {
    return On(out_, h, [&](auto&) { return platform::UnprepareHeader(header); });
  }
  int OutClose(Handle h) override {
    return Close(out_, h, [](auto& device) { return !device.empty(); });
  }
  int InOpen(Handle& handle, std::int32_t device, const Format&,
             const platform::Window& window) override {
    const auto lock = AfterStall();
    return Open(inputs_, device, handle, [&] {
      auto posts = std::make_unique<HeldPosts>(window.Channel);
      const platform::Window held{posts.get(), window.Target};
      in_.emplace(handle, Capture{std::move(posts), platform::CaptureQueue(handle, held)});
    });
  }
  int InPrepareHeader(Handle h, Header& header) override {
    return On(in_, h, [&](auto&) { return platform::PrepareHeader(header); });
  }
  int InAddBuffer(Handle h, Header& header) override {
    return On(in_, h, [&](Capture& device) { return device.Queue.Add(header); });
  }
  int InStart(Handle h) override {
    return On(in_, h, [](Capture& device) { return device.Started = true, platform::kWaveOk; });
  }
  int InReset(Handle h) override {
    std::vector<std::function<void()>> posts;
    const int result = On(in_, h, [&](Capture& device) {
      device.Started = false;
      device.Queue.HandBackAll();
      device.Posts->MoveTo(posts);
      return platform::kWaveOk;
    });
    for (const auto& post : posts)
      post();
    return result;
  }
  int InUnprepareHeader(Handle h, Header& header) override {
    return On(in_, h, [&](auto&) { return platform::UnprepareHeader(header); });
  }
  int InClose(Handle h) override {
    return Close(in_, h, [](Capture& device) { return !device.Queue.Empty(); });
  }

  // The device lists (names double as descriptions; the first is the default).
  void SetDevices(std::vector<std::string> outputs, std::vector<std::string> inputs);
  // Whole blocks happen for every 30 ms accumulated.
  void Advance(std::chrono::milliseconds elapsed);
  void Stall(std::chrono::milliseconds limit = kStallLimit) {
    std::lock_guard lock(mutex_);
    stalled_ = true;
    stallLimit_ = limit;
  }
  void Release() {
    std::lock_guard lock(mutex_);
    stalled_ = false;
    released_.notify_all();
  }
  // Whether a call had to wait for the whole limit of a stall.
  bool Expired() const {
    std::lock_guard lock(mutex_);
    return expired_;
  }
  // Open devices of each kind.
  std::pair<std::size_t, std::size_t> OpenDevices() const {
    std::lock_guard lock(mutex_);
    return {out_.size(), in_.size()};
  }
  // Appends linear audio to what the capture devices record; silence once it runs out.
  void Feed(const std::string& linear) {
    std::lock_guard lock(mutex_);
    feed_ += linear;
  }
  // What the playback devices consumed since the last call.
  std::string TakePlayed() {
    std::lock_guard lock(mutex_);
    return std::exchange(played_, {});
  }

 private:
  // A device's posts while the lock is held, delivered once it is let go.
  class HeldPosts final : public platform::HandOff {
   public:
    explicit HeldPosts(platform::HandOff* channel) : channel_(channel) {}
    bool Send(platform::MessageTarget& target, const platform::WindowMessage& message,
              std::stop_token stop) override {
      Post(target, message, std::move(stop));
      return true;
    }
    void Post(platform::MessageTarget& target, const platform::WindowMessage& message,
              std::stop_token stop) override {
      if (channel_ == nullptr) return;
      held_.push_back([channel = channel_, target = &target, message, stop = std::move(stop)] {
        channel->Post(*target, message, stop);
      });
    }
    void PostAfter(platform::MessageTarget&, const platform::WindowMessage&,
                   std::chrono::milliseconds, std::stop_token) override {}
    void MoveTo(std::vector<std::function<void()>>& posts) {
      for (auto& post : held_)
        posts.push_back(std::move(post));
      held_.clear();
    }

   private:
    platform::HandOff* channel_;
    std::vector<std::function<void()>> held_;
  };
  struct Capture {
    std::unique_ptr<HeldPosts> Posts;
    platform::CaptureQueue Queue;
    bool Started = false;
  };

  std::vector<platform::WaveDeviceInfo> Listed(const std::vector<std::string>& names);
  std::string First(const std::vector<std::string>& names) {
    const auto lock = AfterStall();
    return names.empty() ? std::string() : names.front();
  }
  // With the lock held: a new handle for device number `device` of `names`, made known by `add`.
  template <typename Add>
  int Open(const std::vector<std::string>& names, std::int32_t device, Handle& handle, Add add) {
    if (device == platform::kWaveDefaultDevice) device = 0;
    handle = platform::kNoWaveHandle;
    if (device < 0 || static_cast<std::size_t>(device) >= names.size()) {
      return platform::kWaveBadDeviceId;
    }
    handle = next_++;
    add();
    return platform::kWaveOk;
  }

  mutable std::mutex mutex_;
  std::condition_variable released_;
  bool stalled_ = false;
  std::chrono::milliseconds stallLimit_ = kStallLimit;
  bool expired_ = false;
  std::vector<std::string> outputs_{"Test speaker"};
  std::vector<std::string> inputs_{"Test microphone"};
  std::optional<platform::Window> watcher_;
  std::map<Handle, std::deque<Header*>> out_;
  std::map<Handle, Capture> in_;
  Handle next_ = 1;
  std::chrono::milliseconds clock_{0};
  std::string feed_;
  std::string played_;
};

}  // namespace testsupport
