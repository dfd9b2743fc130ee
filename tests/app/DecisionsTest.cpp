// The call control's decisions that need nothing but their arguments: the status of each
// state, the keys, the level trace and its silence gate, the remote media of an answer, the
// choice of an audio device and the lists it is chosen from.
#include <gtest/gtest.h>

#include "app/CallTexts.h"
#include "app/DeviceChoice.h"
#include "app/DeviceLists.h"
#include "app/KeyMap.h"
#include "app/RemoteMedia.h"

namespace app {
namespace {

TEST(StateDisplayTest, EachStatesTextAndPanel) {
  using P = TPanel;
  const std::tuple<sip::TSIPState, std::optional<std::string_view>, std::optional<P>> rows[] = {
      {sip::ssIdle, {}, P::Connexion},
      {sip::ssRegistering, "connexion en cours...", {}},
      {sip::ssRegistered, {}, P::PhoneBook},
      {sip::ssInviting, "attente du serveur...", {}},
      {sip::ssAuthenticating, {}, {}},  // the text of the step before stays
      {sip::ssTrying, "appel en cours...", {}},
      {sip::ssRefused, "Identifiant ou mot de passe invalide !", {}},
      {sip::ssRinging, "ça sonne...", {}},
      {sip::ssCancelling, "on abandonne...", {}},
      {sip::ssCallFailed, "l'appel n'a pas abouti", {}},
      {sip::ssInCall, "en ligne !", {}},
      {sip::ssHangingUp, "on raccroche...", {}},
      {sip::ssRemoteHangUp, "votre correspond a raccroché", {}}};
  for (const auto& [state, status, panel] : rows) {
    EXPECT_EQ(DisplayForState(state).Status, status) << sip::StateName(state);
    EXPECT_EQ(DisplayForState(state).Panel, panel) << sip::StateName(state);
  }
}

TEST(KeysTest, KeypadNumbersAndTheUserIdBox) {
  // Each character and the key it sends during a call (-1: none), around each range's edges.
  const std::string characters = "09*#.AdDaeE/:@`";
  const int numbers[] = {0, 9, 10, 11, 11, 12, 15, 15, 12, -1, -1, -1, -1, -1, -1};
  for (std::size_t i = 0; i < characters.size(); ++i) {
    const char32_t key = static_cast<unsigned char>(characters[i]);
    EXPECT_EQ(FormKeyNumber(sip::ssInCall, key),
              numbers[i] < 0 ? std::nullopt : std::optional(numbers[i]))
        << characters[i];
    EXPECT_EQ(FormKeyNumber(sip::ssRinging, key), std::nullopt);
  }
  EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, kCharEnter), EditKeyAction::Connect);
  EXPECT_EQ(EditKeyPressAction(0, kCharEnter), EditKeyAction::Connect);
  for (const char32_t key : {U'0', U'9', kCharBackspace})
    EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, key), EditKeyAction::Pass);
  for (const char32_t key : {U'a', U' ', U'/', U':', U'+'}) {
    EXPECT_EQ(EditKeyPressAction(kUserIdBoxTag, key), EditKeyAction::Consume);
    EXPECT_EQ(EditKeyPressAction(0, key), EditKeyAction::Pass);
  }
}

TEST(RemoteMediaTest, PortAndAddressOfTheAnswer) {
  const std::pair<const char*, std::optional<TRemoteMedia>> answers[] = {
      {"v=0\r\nc=IN IP4 192.0.2.7\r\nm=audio 6000 RTP/AVP 8\r\n", TRemoteMedia{"192.0.2.7", 6000}},
      {"m=audio   70 RTP\r\nc=IN IP4 h.example\nx", TRemoteMedia{"h.example", 70}},
      {"m=audio x\r\nc=IN IP4 a", TRemoteMedia{"a", 0}},
      {"m=audio 65536\r\nc=IN IP4 a\r\n", TRemoteMedia{"a", 0}},
      {"m=audio 99999999999999999999\r\nc=IN IP4 a\r\n", TRemoteMedia{"a", 0}},
      {"m=audio 65535\r\nc=IN IP4 \r\n", TRemoteMedia{"", 65535}},
      {"m=video 6000\r\nc=IN IP4 a\r\n", std::nullopt},
      {"m=audio 6000\r\nc=IN IP6 ::1\r\n", std::nullopt}};
  for (const auto& [sdp, media] : answers)
    EXPECT_EQ(ReadRemoteMedia(sdp), media) << sdp;
}

TEST(DeviceChoiceTest, DefaultFirstThenTheSameDeviceThenTheSamePlace) {
  TDeviceChoice choice;
  // The entry selected once the devices (a name, and a description but for "b") are listed.
  const auto listed = [&](const std::vector<platform::WaveDeviceInfo>& devices,
                          const char* server) {
    choice.Refill(devices, server);
    return choice.SelectedName();
  };
  const std::vector<platform::WaveDeviceInfo> three = {{"a", "A"}, {"b", ""}, {"c", "C"}};
  EXPECT_EQ(listed(three, "B"), "A");  // the default is a server name: "b", not "B"
  EXPECT_EQ(listed(three, "b"), "A");  // no longer the first listing
  choice = {};
  EXPECT_EQ(listed(three, "b"), "b");
  EXPECT_EQ(choice.List().Names, (std::vector<std::string>{"A", "b", "C"}));
  choice.Pick(2);
  EXPECT_EQ(listed({{"c", "C"}, {"x", "X"}, {"a", "A"}}, "x"), "C");  // by name
  EXPECT_EQ(listed({{"y", "Y"}, {"z", "Z"}, {"w", "W"}}, "x"), "Y");  // gone: the same place
  choice.Pick(2);
  EXPECT_EQ(listed({{"v", "V"}, {"y", "Y"}}, "y"), "V");  // the place is gone too: the first
  EXPECT_TRUE(choice.Select("y"));
  EXPECT_FALSE(choice.Select("Q"));
  EXPECT_FALSE(choice.Select(""));
  EXPECT_EQ(choice.SelectedName(), "Y");
  choice.Pick(2);
  EXPECT_EQ(choice.SelectedName(), "");  // no such entry
  TDeviceChoice one;  // a list filled to its capacity: a search must stop at its end
  one.Refill({{"a", "A"}}, "");
  EXPECT_FALSE(one.Select("B"));
  EXPECT_EQ(listed({}, ""), "");
  EXPECT_EQ(choice.List().Selected, -1);
}

// The lists change only on the connection panel, but the first listing always comes through:
// it chooses the saved account's devices, which are saved as they were until then.
TEST(DeviceListsTest, HeldBackBehindAnotherPanelAndTheSavedDevicesChosenFirst) {
  std::vector<std::string> log;
  int listings = 0;
  TDeviceLists devices(
      [&](const TDeviceList& outputs, const TDeviceList& inputs, bool enabled) {
        log.push_back(std::to_string(outputs.Selected) + "/" + std::to_string(inputs.Selected) +
                      (enabled ? "" : " greyed"));
      },
      [&] { ++listings; }, [&](int output) { log.push_back("output " + std::to_string(output)); },
      [&](int input) { log.push_back("input " + std::to_string(input)); });
  using Names = std::pair<std::string, std::string>;
  devices.Remember("Casque", "Micro");
  EXPECT_EQ(devices.Chosen(), Names("Casque", "Micro"));
  devices.Listed({{{"hp", "Haut-parleurs"}, {"c", "Casque"}}, "hp", {{"m", "Micro"}}, "m"}, false);
  EXPECT_EQ(log, (std::vector<std::string>{"output 1", "input 0", "1/0"}));
  EXPECT_EQ(devices.Chosen(), Names("Casque", "Micro"));
  devices.Changed(false);
  devices.Listed({{{"hp", "Haut-parleurs"}}, "hp", {}, ""}, false);
  EXPECT_EQ(log.size(), 3u);
  EXPECT_EQ(listings, 0);
  devices.ConnexionShown();
  devices.ConnexionShown();  // asked for once
  EXPECT_EQ(listings, 1);
  devices.Listed({{{"hp", "Haut-parleurs"}}, "hp", {}, ""}, true);
  devices.Changed(true);
  devices.PickOutput(0);
  EXPECT_EQ(log, (std::vector<std::string>{"output 1", "input 0", "1/0", "output 0", "input -1",
                                           "0/-1 greyed", "output 0"}));
  EXPECT_EQ(listings, 2);
}

}  // namespace
}  // namespace app
