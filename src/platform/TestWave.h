// An in-process wave backend for tests: no audio server and no wall clock. Time moves only
// when the test calls Advance; every 30 ms each open playback device consumes its oldest
// queued block (recorded for the test to read) and each started capture device fills its
// oldest queued block from the feed the test supplies, marks it done and Posts kWaveInData.
// Devices can be added and removed, which Posts kDeviceChange to a watching window.
#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/WaveDevice.h"

namespace platform {

class TestWaveBackend final : public WaveBackend {
 public:
  // The time one block lasts, and the block size the devices are paced by.
  static constexpr std::chrono::milliseconds kBlockTime{30};

  // One playback device "Test speaker" and one capture device "Test microphone", both the
  // defaults.
  TestWaveBackend();

  std::vector<WaveDeviceInfo> OutputDevices() override;
  std::vector<WaveDeviceInfo> InputDevices() override;
  std::string DefaultOutput() override;
  std::string DefaultInput() override;
  bool WatchDevices(const Window& window) override;
  void UnwatchDevices() override;

  int OutOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format) override;
  int OutPrepareHeader(WaveHandle handle, WaveHeader& header) override;
  int OutWrite(WaveHandle handle, WaveHeader& header) override;
  int OutReset(WaveHandle handle) override;
  int OutUnprepareHeader(WaveHandle handle, WaveHeader& header) override;
  int OutClose(WaveHandle handle) override;

  int InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
             const Window& window) override;
  int InPrepareHeader(WaveHandle handle, WaveHeader& header) override;
  int InAddBuffer(WaveHandle handle, WaveHeader& header) override;
  int InStart(WaveHandle handle) override;
  int InReset(WaveHandle handle) override;
  int InUnprepareHeader(WaveHandle handle, WaveHeader& header) override;
  int InClose(WaveHandle handle) override;

  // Devices. Names double as descriptions. An empty default means "none".
  void AddOutputDevice(const std::string& name);
  void AddInputDevice(const std::string& name);
  void RemoveOutputDevice(const std::string& name);
  void RemoveInputDevice(const std::string& name);
  void SetDefaults(const std::string& output, const std::string& input);

  // The clock: whole blocks happen for every 30 ms accumulated.
  void Advance(std::chrono::milliseconds elapsed);
  // Appends linear audio to what the capture devices record; silence once it runs out.
  void Feed(std::string_view linear);
  // Hands back the oldest queued capture block of the open capture device holding only `bytes`
  // of the feed, as a device does when it is stopped part-way. False when none is queued.
  bool CompleteShortCapture(std::size_t bytes);

  // Everything the playback devices consumed so far, in order; Take empties it.
  std::string Played() const;
  std::string TakePlayed();
  // Blocks queued on the open devices (0 when none is open).
  std::size_t QueuedOutputBlocks() const;
  std::size_t QueuedInputBlocks() const;
  bool OutputOpen() const;
  bool InputOpen() const;
  // The name of the device the last successful open of each kind reached.
  std::optional<std::string> LastOutputOpened() const;
  std::optional<std::string> LastInputOpened() const;
  // Every operation on a device, open included, counts; enumeration does not.
  std::size_t DeviceCalls() const;

 private:
  struct OutDevice {
    std::deque<WaveHeader*> Queue;
  };
  struct InDevice {
    Window Notify;
    bool Started = false;
    std::deque<WaveHeader*> Queue;
  };

  std::optional<std::string> Resolve(const std::vector<std::string>& names,
                                     const std::string& preferred, std::int32_t device) const;
  void DeviceChanged();
  void FillLocked(InDevice& device, WaveHandle handle, std::size_t bytes);

  mutable std::mutex mutex_;
  std::vector<std::string> outputs_;
  std::vector<std::string> inputs_;
  std::string defaultOutput_;
  std::string defaultInput_;
  std::optional<Window> watcher_;
  std::map<WaveHandle, OutDevice> outDevices_;
  std::map<WaveHandle, InDevice> inDevices_;
  WaveHandle nextHandle_ = 1;
  std::chrono::milliseconds clock_{0};
  std::string feed_;
  std::size_t fed_ = 0;
  std::string played_;
  std::optional<std::string> lastOutput_;
  std::optional<std::string> lastInput_;
  std::size_t deviceCalls_ = 0;
};

}  // namespace platform
