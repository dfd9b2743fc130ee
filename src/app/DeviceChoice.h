// One audio device list of the connection panel (playback or capture) and the device number it
// gives the audio engine: the position of the selected entry. The first listing takes the
// audio server's default device, a later one keeps the device selected before wherever it now
// stands, else its position, else entry 0; a name saved with the account overrides both.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/CallView.h"
#include "platform/WaveDevice.h"

namespace app {

class TDeviceChoice {
 public:
  // Lists the server's devices (their descriptions, else their names) and chooses one; the
  // list is empty and nothing is selected when there is no device.
  void Refill(const std::vector<platform::WaveDeviceInfo>& devices, const std::string& defaultName);
  // Selects the entry of that name, whatever its letter case; an empty or absent name changes
  // nothing. Returns whether the selection changed.
  bool Select(std::string_view name);
  // The user picked an entry.
  void Pick(int position) { list_.Selected = position; }

  const TDeviceList& List() const { return list_; }
  // The selected entry's text; empty when none is selected.
  std::string SelectedName() const;

 private:
  TDeviceList list_;
};

}  // namespace app
