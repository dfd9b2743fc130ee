// What the audio server offers: its devices of each kind and its defaults, as one listing.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct WaveDeviceInfo {
  std::string Name;         // the server's name of the device
  std::string Description;  // what a person is shown
};

struct DeviceListing {
  std::vector<WaveDeviceInfo> Outputs;
  std::string DefaultOutput;
  std::vector<WaveDeviceInfo> Inputs;
  std::string DefaultInput;
};

}  // namespace platform
