#include "ui/DeviceLists.h"

#include <QComboBox>

#include "media/Pcma.h"
#include "platform/WaveDevice.h"
#include "ui/ClickLabel.h"
#include "ui/Shape.h"

namespace ui {

namespace {

const QColor kConnectColour(0xDB, 0x00, 0x16);
const QColor kDisabledColour(0xC0, 0xC0, 0xC0);

struct Listing {
  QStringList Names;  // what the user is shown, in the server's order
  QString Preferred;  // the shown name of the server's default device
};

Listing List(const std::vector<platform::WaveDeviceInfo>& devices, const std::string& defaultName) {
  Listing listing;
  for (const platform::WaveDeviceInfo& device : devices) {
    const QString shown =
        QString::fromStdString(device.Description.empty() ? device.Name : device.Description);
    listing.Names << shown;
    if (device.Name == defaultName) listing.Preferred = shown;
  }
  return listing;
}

}  // namespace

int ChooseDeviceEntry(int current, const QString& currentName, const QStringList& names,
                      const QString& preferred) {
  if (current >= 0) {
    const auto same = static_cast<int>(names.indexOf(currentName));
    if (same >= 0) return same;
  }
  int chosen = current;
  if (chosen < 0) {
    chosen = -1;
    for (int i = 0; i < names.size() && !preferred.isEmpty(); ++i) {
      if (names[i].compare(preferred, Qt::CaseInsensitive) == 0) {
        chosen = i;
        break;
      }
    }
  }
  if (chosen < 0 || chosen >= names.size()) chosen = 0;
  return chosen;
}

TDeviceLists::TDeviceLists(QComboBox& waveOutList, QComboBox& waveInList, TClickLabel& connect,
                           TShape& connectShape, platform::WaveBackend& wave, media::TPCMA& audio)
    : waveOutList_(waveOutList),
      waveInList_(waveInList),
      connect_(connect),
      connectShape_(connectShape),
      wave_(wave),
      audio_(audio) {}

int TDeviceLists::Refill(QComboBox& list, const QStringList& names, const QString& preferred) {
  if (names.isEmpty()) {
    list.clear();
    return -1;
  }
  const int current = list.currentIndex();
  const QString currentName = list.currentText();
  list.clear();
  list.addItems(names);
  const int chosen = ChooseDeviceEntry(current, currentName, names, preferred);
  list.setCurrentIndex(chosen);
  return chosen;
}

void TDeviceLists::ListDevices() {
  const Listing outputs = List(wave_.OutputDevices(), wave_.DefaultOutput());
  const Listing inputs = List(wave_.InputDevices(), wave_.DefaultInput());
  audio_.OutputDevice = Refill(waveOutList_, outputs.Names, outputs.Preferred);
  audio_.InputDevice = Refill(waveInList_, inputs.Names, inputs.Preferred);
  const bool ok = !outputs.Names.isEmpty() && !inputs.Names.isEmpty();
  connect_.setEnabled(ok);
  connectShape_.setBrushColor(ok ? kConnectColour : kDisabledColour);
}

std::optional<int> TDeviceLists::Select(QComboBox& list, const QString& name) {
  if (name.isEmpty()) return std::nullopt;
  for (int i = 0; i < list.count(); ++i) {
    if (list.itemText(i).compare(name, Qt::CaseInsensitive) == 0) {
      list.setCurrentIndex(i);
      return i;
    }
  }
  return std::nullopt;
}

void TDeviceLists::SelectWaveIn(const QString& name) {
  if (const std::optional<int> found = Select(waveInList_, name)) audio_.InputDevice = *found;
}

void TDeviceLists::SelectWaveOut(const QString& name) {
  if (const std::optional<int> found = Select(waveOutList_, name)) audio_.OutputDevice = *found;
}

void TDeviceLists::WaveOutListChange() {
  audio_.OutputDevice = waveOutList_.currentIndex();
}

void TDeviceLists::WaveInListChange() {
  audio_.InputDevice = waveInList_.currentIndex();
}

}  // namespace ui
