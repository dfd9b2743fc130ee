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

  QTimer timer_;
  QElapsedTimer clock_;
  qint64 lastTick_ = 0;
  qint64 windowStart_ = 0;
  qint64 longest_ = 0;
  int ticks_ = 0;
};

}  // namespace ui
