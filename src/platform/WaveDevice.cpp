#include "platform/WaveDevice.h"

namespace platform {

bool IsTelephoneFormat(const WaveFormat& format) {
  const WaveFormat telephone;
  return format.FormatTag == telephone.FormatTag && format.Channels == telephone.Channels &&
         format.SamplesPerSec == telephone.SamplesPerSec &&
         format.AvgBytesPerSec == telephone.AvgBytesPerSec &&
         format.BlockAlign == telephone.BlockAlign &&
         format.BitsPerSample == telephone.BitsPerSample;
}

}  // namespace platform
