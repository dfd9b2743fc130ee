// The two audio device lists of the connection panel and the device numbers they give the
// audio engine. The first listing takes the audio server's default device (the preferred one),
// a later listing keeps the selected position while it still exists, and a name saved with the
// account overrides both. The connect button works only while both kinds of device exist.
// Main thread only.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QComboBox;

namespace media {
class TPCMA;
}
namespace platform {
class WaveBackend;
}

namespace ui {

class TClickLabel;
class TShape;

// The entry a listing selects: the device selected before (`currentName`) wherever it now
// stands, else position `current` when it still exists, else on a first listing (current < 0)
// the preferred name compared without regard to letter case, else entry 0. By name first: a
// device that goes and comes back is listed at another place, and keeping only the position
// would silently hand the call to another device.
int ChooseDeviceEntry(int current, const QString& currentName, const QStringList& names,
                      const QString& preferred);

class TDeviceLists {
 public:
  TDeviceLists(QComboBox& waveOutList, QComboBox& waveInList, TClickLabel& connect,
               TShape& connectShape, platform::WaveBackend& wave, media::TPCMA& audio);

  // Fills both lists from the audio server and chooses a device in each.
  void ListDevices();
  // Selects the entry of that name (any letter case) and hands its position to the engine;
  // an empty or absent name leaves the selection.
  void SelectWaveIn(const QString& name);
  void SelectWaveOut(const QString& name);
  // The user picked an entry.
  void WaveOutListChange();
  void WaveInListChange();

 private:
  // Refills one list; returns the chosen position, or -1 when the server offers no device.
  static int Refill(QComboBox& list, const QStringList& names, const QString& preferred);
  static std::optional<int> Select(QComboBox& list, const QString& name);

  QComboBox& waveOutList_;
  QComboBox& waveInList_;
  TClickLabel& connect_;
  TShape& connectShape_;
  platform::WaveBackend& wave_;
  media::TPCMA& audio_;
};

}  // namespace ui
