#include "app/DeviceChoice.h"

#include "app/PrivateProfile.h"

namespace app {

namespace {

std::optional<int> Find(const std::vector<std::string>& names, std::string_view name) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (FoldCase(names[i]) == FoldCase(name)) return static_cast<int>(i);
  }
  return std::nullopt;
}

}  // namespace

void TDeviceChoice::Refill(const std::vector<platform::WaveDeviceInfo>& devices,
                           const std::string& defaultName) {
  const std::string before = SelectedName();
  const int position = list_.Selected;
  std::string preferred;
  list_.Names.clear();
  for (const platform::WaveDeviceInfo& device : devices) {
    list_.Names.push_back(device.Description.empty() ? device.Name : device.Description);
    if (device.Name == defaultName) preferred = list_.Names.back();
  }
  if (list_.Names.empty()) {
    list_.Selected = -1;
    return;
  }
  // By name first: a device that goes and comes back is listed at another place, and keeping
  // only the position would silently hand the call to another device.
  int chosen = position;
  for (std::size_t i = 0; position >= 0 && i < list_.Names.size(); ++i) {
    if (list_.Names[i] == before) {
      chosen = static_cast<int>(i);
      break;
    }
  }
  if (chosen < 0 && !preferred.empty()) chosen = Find(list_.Names, preferred).value_or(-1);
  if (chosen < 0 || chosen >= static_cast<int>(list_.Names.size())) chosen = 0;
  list_.Selected = chosen;
}

bool TDeviceChoice::Select(std::string_view name) {
  if (name.empty()) return false;
  const std::optional<int> found = Find(list_.Names, name);
  if (found) list_.Selected = *found;
  return found.has_value();
}

std::string TDeviceChoice::SelectedName() const {
  if (list_.Selected < 0 || list_.Selected >= static_cast<int>(list_.Names.size())) return {};
  return list_.Names[static_cast<std::size_t>(list_.Selected)];
}

}  // namespace app
