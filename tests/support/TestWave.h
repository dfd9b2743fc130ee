// An in-process wave backend for tests: no audio server and no wall clock. Time moves only when
// the test calls Advance; every 30 ms each open playback device consumes its oldest queued
// block (kept for the test to read) and each started capture device fills its oldest block from
// the feed the test supplies. Changing the device lists Posts kDeviceChange to the watcher.
// Stall makes it an audio server that does not answer: opening a device, listing or watching
// the devices then waits until Release (at most kStallLimit, which Expired then tells).
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/WaveDevice.h"

namespace testsupport {

class TestWaveBackend final : public platform::WaveBackend {
  // While stalled, waits for Release (at most kStallLimit), then acts.
  template <typename Action>
  auto AfterStall(Action action) {
    {
      std::unique_lock lock(stallMutex_);
      if (!released_.wait_for(lock, kStallLimit, [this] { return !stalled_; })) expired_ = true;
    }
    return action();
  }
  // Under the lock: the action's result, or for a device that is not open, kWaveInvalidHandle.
  template <typename Action>
  auto Locked(Action action) const {
    std::lock_guard lock(mutex_);
    return action();
  }
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

  std::vector<platform::WaveDeviceInfo> OutputDevices() override {
    return AfterStall([&] { return Listed(outputs_); });
  }
  std::vector<platform::WaveDeviceInfo> InputDevices() override {
    return AfterStall([&] { return Listed(inputs_); });
  }
  std::string DefaultOutput() override {
    return AfterStall([&] { return Locked([&] { return First(outputs_); }); });
  }
  std::string DefaultInput() override {
    return AfterStall([&] { return Locked([&] { return First(inputs_); }); });
  }
  bool WatchDevices(const platform::Window& window) override {
    return AfterStall([&] { return Locked([&] { return watcher_ = window, true; }); });
  }
  void UnwatchDevices() override {
    Locked([&] { return watcher_.reset(), 0; });
  }

  int OutOpen(Handle& handle, std::int32_t device, const Format& format) override;
  int OutPrepareHeader(Handle h, Header& header) override {
    return On(out_, h, [&](auto&) { return platform::PrepareHeader(header); });
  }
  int OutWrite(Handle h, Header& header) override;
  int OutReset(Handle h) override;
  int OutUnprepareHeader(Handle h, Header& header) override {
    return On(out_, h, [&](auto&) { return platform::UnprepareHeader(header); });
  }
  int OutClose(Handle h) override {
    return Close(out_, h, [](auto& device) { return !device.empty(); });
  }
  int InOpen(Handle& handle, std::int32_t device, const Format& format,
             const platform::Window& window) override;
  int InPrepareHeader(Handle h, Header& header) override {
    return On(in_, h, [&](auto&) { return platform::PrepareHeader(header); });
  }
  int InAddBuffer(Handle h, Header& header) override;
  int InStart(Handle h) override {
    return On(in_, h, [](Capture& device) { return device.Started = true, platform::kWaveOk; });
  }
  int InReset(Handle h) override;
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
  void Stall() {
    std::lock_guard lock(stallMutex_);
    stalled_ = true;
  }
  void Release() {
    std::lock_guard lock(stallMutex_);
    stalled_ = false;
    released_.notify_all();
  }
  // Whether a call had to wait for the whole kStallLimit.
  bool Expired() const {
    std::lock_guard lock(stallMutex_);
    return expired_;
  }
  // Open devices of each kind.
  std::pair<std::size_t, std::size_t> OpenDevices() const {
    return Locked([&] { return std::pair(out_.size(), in_.size()); });
  }
  // Appends linear audio to what the capture devices record; silence once it runs out.
  void Feed(const std::string& linear) {
    Locked([&] { return feed_ += linear, 0; });
  }
  // What the playback devices consumed since the last call.
  std::string TakePlayed() {
    return Locked([&] { return std::exchange(played_, {}); });
  }

 private:
  struct Capture {
    platform::CaptureQueue Queue;
    bool Started = false;
  };

  std::vector<platform::WaveDeviceInfo> Listed(const std::vector<std::string>& names) const;
  static std::string First(const std::vector<std::string>& names) {
    return names.empty() ? std::string() : names.front();
  }
  int Open(const std::vector<std::string>& names, std::int32_t device, const Format& format,
           Handle& handle);

  mutable std::mutex mutex_;
  mutable std::mutex stallMutex_;
  std::condition_variable released_;
  bool stalled_ = false;
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
