// The wave-device layer: 16-bit PCM capture and playback in fixed blocks, with the semantics the
// audio engine was written for. A block is described by a WaveHeader that the engine owns: it is
// written to a playback device, which sets the header's done flag once the block has been
// consumed; or it is added to a capture device, which fills it, sets the done flag and Posts
// MessageNumber::WaveInData to the window given at open, the device and the header in the message's
// CaptureBlock. Nothing in this layer notifies playback.
//
// Devices are named by handles, not pointers, so that a notification that outlives its device
// (a block handed back after the close) meets a closed handle and is refused harmlessly.
//
// Threads: any thread may call a backend; the backend's own threads only set header flags and
// counts, Post capture notifications and Post device-change notifications.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "platform/DeviceListing.h"
#include "platform/HandOff.h"

namespace platform {

// Window message posted per filled capture block.
// Window message posted when the set of devices, or the defaults, change.

// 30 ms of 8000 Hz 16-bit mono: one capture or playback block, one RTP packet once coded.
inline constexpr std::size_t kFrameBytes = 480;

// Device number of the system's default device.
inline constexpr std::int32_t kWaveDefaultDevice = -1;

// Operation results; 0 is success.
enum WaveResult : int {
  kWaveOk = 0,
  kWaveError = 1,          // the server failed or went away
  kWaveBadDeviceId = 2,    // no device has that number
  kWaveInvalidHandle = 5,  // the device is not open (any more)
  kWaveNoDriver = 6,       // no audio server can be reached
  kWaveBadFormat = 32,     // only the one wave format is offered
  kWaveStillPlaying = 33,  // the block is still queued on the device
  kWaveUnprepared = 34,    // the header was not prepared
};

// Header flags.
inline constexpr std::uint32_t kWaveHeaderDone = 0x01;
inline constexpr std::uint32_t kWaveHeaderPrepared = 0x02;
inline constexpr std::uint32_t kWaveHeaderInQueue = 0x10;

inline constexpr WaveHandle kNoWaveHandle = 0;

struct WaveFormat {
  std::uint16_t FormatTag = 1;  // PCM
  std::uint16_t Channels = 1;
  std::uint32_t SamplesPerSec = 8000;
  std::uint32_t AvgBytesPerSec = 16000;
  std::uint16_t BlockAlign = 2;
  std::uint16_t BitsPerSample = 16;
};

// The one format both directions use; other formats are refused with kWaveBadFormat.
bool IsTelephoneFormat(const WaveFormat& format);

struct WaveHeader {
  char* Data = nullptr;
  std::uint32_t BufferLength = 0;
  // Capture: bytes the device put into Data before handing the header back.
  std::uint32_t BytesRecorded = 0;
  // Free for the owner of the header.
  std::uintptr_t User = 0;
  // Set by the device's threads, read by the owner's.
  std::atomic<std::uint32_t> Flags{0};

  bool Done() const { return (Flags.load(std::memory_order_acquire) & kWaveHeaderDone) != 0; }

  // Device side: the block was consumed (or filled) and belongs to its owner again.
  void MarkDone() {
    Flags.fetch_and(~kWaveHeaderInQueue, std::memory_order_relaxed);
    Flags.fetch_or(kWaveHeaderDone, std::memory_order_release);
  }
  // Device side: the block is queued on the device.
  void MarkQueued() {
    Flags.fetch_and(~kWaveHeaderDone, std::memory_order_relaxed);
    Flags.fetch_or(kWaveHeaderInQueue, std::memory_order_release);
  }
};

// The header rules every backend follows, whatever its device does with the block.
// Prepare: the header may be queued from now on.
int PrepareHeader(WaveHeader& header);
// Queue: refused for an unprepared header, and for one still queued; else marked queued.
int QueueHeader(WaveHeader& header);
// Unprepare: refused while the header is queued.
int UnprepareHeader(WaveHeader& header);
// A device closes only once none of its blocks is queued.
inline int CloseResult(bool blocksQueued) {
  return blocksQueued ? kWaveStillPlaying : kWaveOk;
}

// The blocks queued on one capture device, filled in turn from what the device records; each
// full block is handed back with its notification to the window given at open.
class CaptureQueue {
 public:
  CaptureQueue(WaveHandle device, const Window& window) : device_(device), window_(window) {}

  int Add(WaveHeader& header);
  bool Empty() const { return queue_.empty(); }
  // The bytes still to record before the next block is handed back; 0 with none queued.
  std::size_t Missing() const {
    return queue_.empty() ? 0 : queue_.front()->BufferLength - queue_.front()->BytesRecorded;
  }
  // Appends `length` recorded bytes (silence for a null `data`) to the queued blocks. Audio
  // with no block queued is lost, as on a device that has no buffer.
  void Take(const char* data, std::size_t length);
  // Hands the oldest block back with what it holds so far.
  void HandBackFront();
  // Hands every block back, each with what it holds: the device stopped.
  void HandBackAll();

 private:
  WaveHandle device_;
  Window window_;
  std::deque<WaveHeader*> queue_;
};

// One audio system. Device numbers are positions in OutputDevices() / InputDevices() at the
// time of the open; kWaveDefaultDevice means the system's default device.
class WaveBackend {
 public:
  virtual ~WaveBackend() = default;

  virtual std::vector<WaveDeviceInfo> OutputDevices() = 0;
  virtual std::vector<WaveDeviceInfo> InputDevices() = 0;
  // The server names of the default devices; empty when there is none or no server.
  virtual std::string DefaultOutput() = 0;
  virtual std::string DefaultInput() = 0;
  // Posts MessageNumber::DeviceChange to `window` whenever devices come, go or the defaults change,
  // until the next Watch or Unwatch. Returns false when changes cannot be followed (no server).
  virtual bool WatchDevices(const Window& window) = 0;
  virtual void UnwatchDevices() = 0;

  virtual int OutOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format) = 0;
  virtual int OutPrepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  // Queues the header's block; its done flag is set once the block has been consumed.
  virtual int OutWrite(WaveHandle handle, WaveHeader& header) = 0;
  // Drops every queued block and marks it done.
  virtual int OutReset(WaveHandle handle) = 0;
  // kWaveStillPlaying while the block is queued.
  virtual int OutUnprepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual int OutClose(WaveHandle handle) = 0;

  // Capture notifications go to `window` (MessageNumber::WaveInData).
  virtual int InOpen(WaveHandle& handle, std::int32_t device, const WaveFormat& format,
                     const Window& window) = 0;
  virtual int InPrepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual int InAddBuffer(WaveHandle handle, WaveHeader& header) = 0;
  virtual int InStart(WaveHandle handle) = 0;
  // Stops capture and hands every queued block back, each with its notification and the
  // bytes it holds so far.
  virtual int InReset(WaveHandle handle) = 0;
  virtual int InUnprepareHeader(WaveHandle handle, WaveHeader& header) = 0;
  virtual int InClose(WaveHandle handle) = 0;
};

}  // namespace platform
