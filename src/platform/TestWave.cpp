#include "platform/TestWave.h"

#include <algorithm>
#include <cstring>

namespace platform {

namespace {

constexpr std::size_t kBlockBytes = 480;

// The header operations that playback and capture devices share, over either device map.
template <typename Devices>
int PrepareHeader(Devices& devices, WaveHandle handle, WaveHeader& header) {
  if (!devices.contains(handle)) return kWaveInvalidHandle;
  header.Flags.fetch_or(kWaveHeaderPrepared);
  return kWaveOk;
}

template <typename Devices>
int QueueHeader(Devices& devices, WaveHandle handle, WaveHeader& header) {
  const auto device = devices.find(handle);
  if (device == devices.end()) return kWaveInvalidHandle;
  if ((header.Flags.load() & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.MarkQueued();
  device->second.Queue.push_back(&header);
  return kWaveOk;
}

template <typename Devices>
int UnprepareHeader(Devices& devices, WaveHandle handle, WaveHeader& header) {
  if (!devices.contains(handle)) return kWaveInvalidHandle;
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.Flags.fetch_and(~kWaveHeaderPrepared);
  return kWaveOk;
}

template <typename Devices>
int CloseDevice(Devices& devices, WaveHandle handle) {
  const auto device = devices.find(handle);
  if (device == devices.end()) return kWaveInvalidHandle;
  if (!device->second.Queue.empty()) return kWaveStillPlaying;
  devices.erase(device);
  return kWaveOk;
}

}  // namespace

TestWaveBackend::TestWaveBackend()
    : outputs_{"Test speaker"},
      inputs_{"Test microphone"},
      defaultOutput_("Test speaker"),
      defaultInput_("Test microphone") {}

std::vector<WaveDeviceInfo> TestWaveBackend::OutputDevices() {
  std::lock_guard lock(mutex_);
  std::vector<WaveDeviceInfo> list;
  for (const std::string& name : outputs_)
    list.push_back({name, name});
  return list;
}

std::vector<WaveDeviceInfo> TestWaveBackend::InputDevices() {
  std::lock_guard lock(mutex_);
  std::vector<WaveDeviceInfo> list;
  for (const std::string& name : inputs_)
    list.push_back({name, name});
  return list;
}

std::string TestWaveBackend::DefaultOutput() {
  std::lock_guard lock(mutex_);
  return defaultOutput_;
}

std::string TestWaveBackend::DefaultInput() {
  std::lock_guard lock(mutex_);
  return defaultInput_;
}

bool TestWaveBackend::WatchDevices(const Window& window) {
  std::lock_guard lock(mutex_);
  watcher_ = window;
  return true;
}

void TestWaveBackend::UnwatchDevices() {
  std::lock_guard lock(mutex_);
  watcher_.reset();
}

std::optional<std::string> TestWaveBackend::Resolve(const std::vector<std::string>& names,
                                                    const std::string& preferred,
                                                    std::int32_t device) const {
  if (device == kWaveDefaultDevice) {
    if (std::find(names.begin(), names.end(), preferred) != names.end()) return preferred;
    if (!names.empty()) return names.front();
    return std::nullopt;
  }
  if (device < 0 || static_cast<std::size_t>(device) >= names.size()) return std::nullopt;
  return names[static_cast<std::size_t>(device)];
}

int TestWaveBackend::OutOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  handle = kNoWaveHandle;
  if (!IsTelephoneFormat(format)) return kWaveBadFormat;
  const std::optional<std::string> name = Resolve(outputs_, defaultOutput_, device);
  if (!name) return kWaveBadDeviceId;
  handle = nextHandle_++;
  outDevices_.emplace(handle, OutDevice{});
  lastOutput_ = name;
  return kWaveOk;
}

int TestWaveBackend::OutPrepareHeader(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return PrepareHeader(outDevices_, handle, header);
}

int TestWaveBackend::OutWrite(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return QueueHeader(outDevices_, handle, header);
}

int TestWaveBackend::OutReset(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  const auto device = outDevices_.find(handle);
  if (device == outDevices_.end()) return kWaveInvalidHandle;
  for (WaveHeader* header : device->second.Queue)
    header->MarkDone();
  device->second.Queue.clear();
  return kWaveOk;
}

int TestWaveBackend::OutUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return UnprepareHeader(outDevices_, handle, header);
}

int TestWaveBackend::OutClose(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return CloseDevice(outDevices_, handle);
}

int TestWaveBackend::InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
                            const Window& window) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  handle = kNoWaveHandle;
  if (!IsTelephoneFormat(format)) return kWaveBadFormat;
  const std::optional<std::string> name = Resolve(inputs_, defaultInput_, device);
  if (!name) return kWaveBadDeviceId;
  handle = nextHandle_++;
  inDevices_.emplace(handle, InDevice{window, false, {}});
  lastInput_ = name;
  return kWaveOk;
}

int TestWaveBackend::InPrepareHeader(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return PrepareHeader(inDevices_, handle, header);
}

int TestWaveBackend::InAddBuffer(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  const int result = QueueHeader(inDevices_, handle, header);
  // Under the same lock as the filling, so no block is filled before this is cleared.
  if (result == kWaveOk) header.BytesRecorded = 0;
  return result;
}

int TestWaveBackend::InStart(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  const auto device = inDevices_.find(handle);
  if (device == inDevices_.end()) return kWaveInvalidHandle;
  device->second.Started = true;
  return kWaveOk;
}

int TestWaveBackend::InReset(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  const auto device = inDevices_.find(handle);
  if (device == inDevices_.end()) return kWaveInvalidHandle;
  device->second.Started = false;
  while (!device->second.Queue.empty())
    FillLocked(device->second, handle, 0);
  return kWaveOk;
}

int TestWaveBackend::InUnprepareHeader(WaveHandle handle, WaveHeader& header) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return UnprepareHeader(inDevices_, handle, header);
}

int TestWaveBackend::InClose(WaveHandle handle) {
  std::lock_guard lock(mutex_);
  ++deviceCalls_;
  return CloseDevice(inDevices_, handle);
}

void TestWaveBackend::FillLocked(InDevice& device, WaveHandle handle, std::size_t bytes) {
  WaveHeader& header = *device.Queue.front();
  device.Queue.pop_front();
  bytes = std::min<std::size_t>(bytes, header.BufferLength);
  for (std::size_t i = 0; i < bytes; ++i) {
    header.Data[i] = fed_ < feed_.size() ? feed_[fed_++] : '\0';
  }
  header.BytesRecorded = static_cast<std::uint32_t>(bytes);
  header.MarkDone();
  if (device.Notify.Channel != nullptr && device.Notify.Target != nullptr) {
    device.Notify.Channel->Post(
        *device.Notify.Target,
        WindowMessage{kWaveInData, handle, reinterpret_cast<std::intptr_t>(&header)});
  }
}

void TestWaveBackend::AddOutputDevice(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    outputs_.push_back(name);
  }
  DeviceChanged();
}

void TestWaveBackend::AddInputDevice(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    inputs_.push_back(name);
  }
  DeviceChanged();
}

void TestWaveBackend::RemoveOutputDevice(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    std::erase(outputs_, name);
  }
  DeviceChanged();
}

void TestWaveBackend::RemoveInputDevice(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    std::erase(inputs_, name);
  }
  DeviceChanged();
}

void TestWaveBackend::SetDefaults(const std::string& output, const std::string& input) {
  {
    std::lock_guard lock(mutex_);
    defaultOutput_ = output;
    defaultInput_ = input;
  }
  DeviceChanged();
}

void TestWaveBackend::DeviceChanged() {
  std::optional<Window> watcher;
  {
    std::lock_guard lock(mutex_);
    watcher = watcher_;
  }
  if (watcher && watcher->Channel != nullptr && watcher->Target != nullptr) {
    watcher->Channel->Post(*watcher->Target, WindowMessage{kDeviceChange, 0, 0});
  }
}

void TestWaveBackend::Advance(std::chrono::milliseconds elapsed) {
  std::lock_guard lock(mutex_);
  const auto before = clock_ / kBlockTime;
  clock_ += elapsed;
  for (auto block = before; block < clock_ / kBlockTime; ++block) {
    for (auto& [handle, device] : outDevices_) {
      if (device.Queue.empty()) continue;
      WaveHeader& header = *device.Queue.front();
      device.Queue.pop_front();
      played_.append(header.Data, header.BufferLength);
      header.MarkDone();
    }
    for (auto& [handle, device] : inDevices_) {
      if (device.Started && !device.Queue.empty()) FillLocked(device, handle, kBlockBytes);
    }
  }
}

void TestWaveBackend::Feed(std::string_view linear) {
  std::lock_guard lock(mutex_);
  feed_.append(linear);
}

bool TestWaveBackend::CompleteShortCapture(std::size_t bytes) {
  std::lock_guard lock(mutex_);
  for (auto& [handle, device] : inDevices_) {
    if (device.Queue.empty()) continue;
    FillLocked(device, handle, bytes);
    return true;
  }
  return false;
}

std::string TestWaveBackend::Played() const {
  std::lock_guard lock(mutex_);
  return played_;
}

std::string TestWaveBackend::TakePlayed() {
  std::lock_guard lock(mutex_);
  std::string played;
  played.swap(played_);
  return played;
}

std::size_t TestWaveBackend::QueuedOutputBlocks() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (const auto& [handle, device] : outDevices_)
    count += device.Queue.size();
  return count;
}

std::size_t TestWaveBackend::QueuedInputBlocks() const {
  std::lock_guard lock(mutex_);
  std::size_t count = 0;
  for (const auto& [handle, device] : inDevices_)
    count += device.Queue.size();
  return count;
}

bool TestWaveBackend::OutputOpen() const {
  std::lock_guard lock(mutex_);
  return !outDevices_.empty();
}

bool TestWaveBackend::InputOpen() const {
  std::lock_guard lock(mutex_);
  return !inDevices_.empty();
}

std::optional<std::string> TestWaveBackend::LastOutputOpened() const {
  std::lock_guard lock(mutex_);
  return lastOutput_;
}

std::optional<std::string> TestWaveBackend::LastInputOpened() const {
  std::lock_guard lock(mutex_);
  return lastInput_;
}

std::size_t TestWaveBackend::DeviceCalls() const {
  std::lock_guard lock(mutex_);
  return deviceCalls_;
}

}  // namespace platform
