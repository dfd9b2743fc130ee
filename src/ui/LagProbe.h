// How long the main thread's event loop keeps a person waiting, measured from inside.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace ui {

// Enabled by the logging rule "telvarion.lag.debug=true": a 10 ms timer whose lateness is
// the time the loop spent elsewhere (a blocking handler, a storm of events). Once a second it
// logs the longest lateness of that second, so a test or a benchmark can read, from the
// program's own output, what a click would have waited.
class TLagProbe : public QObject {
  Q_OBJECT

 public:
  explicit TLagProbe(QObject* parent = nullptr);
  // Starts only when the category is enabled, so the shipped program pays nothing.
  void StartIfEnabled();

 private:
  void Tick();

  QTimer FTimer;
  QElapsedTimer FClock;
  qint64 FLastTick = 0;
  qint64 FWindowStart = 0;
  qint64 FLongest = 0;
  int FTicks = 0;
};

}  // namespace ui
