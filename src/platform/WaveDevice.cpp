#include "platform/WaveDevice.h"

#include <algorithm>
#include <cstring>

namespace platform {

bool IsTelephoneFormat(const WaveFormat& format) {
  const WaveFormat telephone;
  return format.FormatTag == telephone.FormatTag && format.Channels == telephone.Channels &&
         format.SamplesPerSec == telephone.SamplesPerSec &&
         format.AvgBytesPerSec == telephone.AvgBytesPerSec &&
         format.BlockAlign == telephone.BlockAlign &&
         format.BitsPerSample == telephone.BitsPerSample;
}

int PrepareHeader(WaveHeader& header) {
  header.Flags.fetch_or(kWaveHeaderPrepared);
  return kWaveOk;
}

int QueueHeader(WaveHeader& header) {
  const std::uint32_t flags = header.Flags.load();
  if ((flags & kWaveHeaderPrepared) == 0) return kWaveUnprepared;
  if ((flags & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.MarkQueued();
  return kWaveOk;
}

int UnprepareHeader(WaveHeader& header) {
  if ((header.Flags.load() & kWaveHeaderInQueue) != 0) return kWaveStillPlaying;
  header.Flags.fetch_and(~kWaveHeaderPrepared);
  return kWaveOk;
}

int CaptureQueue::Add(WaveHeader& header) {
  const int result = QueueHeader(header);
  if (result != kWaveOk) return result;
  header.BytesRecorded = 0;
  queue_.push_back(&header);
  return kWaveOk;
}

void CaptureQueue::Take(const char* data, std::size_t length) {
  while (length > 0 && !queue_.empty()) {
    WaveHeader& header = *queue_.front();
    const std::size_t part =
        std::min<std::size_t>(header.BufferLength - header.BytesRecorded, length);
    if (data != nullptr) {
      std::memcpy(header.Data + header.BytesRecorded, data, part);
      data += part;
    } else {
      std::memset(header.Data + header.BytesRecorded, 0, part);
    }
    header.BytesRecorded += static_cast<std::uint32_t>(part);
    length -= part;
    if (header.BytesRecorded == header.BufferLength) HandBackFront();
  }
}

void CaptureQueue::HandBackFront() {
  WaveHeader& header = *queue_.front();
  queue_.pop_front();
  header.MarkDone();
  window_.Post(WindowMessage{MessageNumber::WaveInData, CaptureBlock{device_, &header}});
}

void CaptureQueue::HandBackAll() {
  while (!queue_.empty())
    HandBackFront();
}

}  // namespace platform
