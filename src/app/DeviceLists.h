// The audio device lists of the connection panel and the devices the audio engine opens: listed
// at start-up and whenever the audio server's devices change, picked by the user, and held back
// while another panel shows, since a list must not change behind the person choosing from it.
// The first listing is never held back: the audio engine needs it to find any device.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/CallView.h"
#include "app/DeviceChoice.h"
#include "platform/DeviceListing.h"

namespace app {

class TDeviceLists {
 public:
  // The lists shown on the connection panel (the connect button enabled when both have a device).
  using Show = std::function<void(const TDeviceList& outputs, const TDeviceList& inputs, bool)>;
  // `list` asks for a listing, which comes back to Listed; `useOutput` and `useInput` give the
  // audio engine the device each list chose.
  TDeviceLists(Show show, std::function<void()> list, std::function<void(int)> useOutput,
               std::function<void(int)> useInput);

  // The saved account's devices, chosen when the first listing comes.
  void Remember(std::string output, std::string input);
  void Listed(const platform::DeviceListing& listing, bool connexionShown);
  // The audio server's devices changed.
  void Changed(bool connexionShown);
  // The connection panel shows again: lists held back meanwhile are asked for now.
  void ConnexionShown();
  void PickOutput(int position);
  void PickInput(int position);
  // The output and input devices to save with the account: those remembered while no listing
  // came yet (an audio server slow to answer), else those chosen.
  std::pair<std::string, std::string> Chosen() const;

 private:
  Show show_;
  std::function<void()> list_;
  std::function<void(int)> useOutput_;
  std::function<void(int)> useInput_;
  TDeviceChoice outputs_;
  TDeviceChoice inputs_;
  std::optional<std::pair<std::string, std::string>> remembered_;
  bool listed_ = false;
  bool pending_ = false;
};

}  // namespace app
