#include "ui/LagProbe.h"

#include <QLoggingCategory>
#include <algorithm>

namespace ui {

namespace {

Q_LOGGING_CATEGORY(lcLag, "telvarion.lag", QtInfoMsg)

constexpr int kIntervalMs = 10;
constexpr qint64 kReportEveryMs = 1000;

}  // namespace

TLagProbe::TLagProbe(QObject* parent) : QObject(parent) {
  FTimer.setTimerType(Qt::PreciseTimer);
  FTimer.setInterval(kIntervalMs);
  connect(&FTimer, &QTimer::timeout, this, &TLagProbe::Tick);
}

void TLagProbe::StartIfEnabled() {
  if (!lcLag().isDebugEnabled()) return;
  FClock.start();
  FLastTick = FWindowStart = 0;
  FTimer.start();
}

void TLagProbe::Tick() {
  const qint64 now = FClock.elapsed();
  FLongest = std::max(FLongest, now - FLastTick - kIntervalMs);
  FLastTick = now;
  ++FTicks;
  if (now - FWindowStart < kReportEveryMs) return;
  // "longest_ms<TAB>12<TAB>ticks<TAB>98": the longest delay of the last second, as events are.
  qCDebug(lcLag).noquote().nospace()
      << "longest_ms\t" << std::max<qint64>(FLongest, 0) << "\tticks\t" << FTicks;
  FWindowStart = now;
  FLongest = 0;
  FTicks = 0;
}

}  // namespace ui
