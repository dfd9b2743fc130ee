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
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kIntervalMs);
  connect(&timer_, &QTimer::timeout, this, &TLagProbe::Tick);
}

void TLagProbe::StartIfEnabled() {
  if (!lcLag().isDebugEnabled()) return;
  clock_.start();
  lastTick_ = windowStart_ = 0;
  timer_.start();
}

void TLagProbe::Tick() {
  const qint64 now = clock_.elapsed();
  longest_ = std::max(longest_, now - lastTick_ - kIntervalMs);
  lastTick_ = now;
  ++ticks_;
  if (now - windowStart_ < kReportEveryMs) return;
  // "longest_ms<TAB>12<TAB>ticks<TAB>98": the longest delay of the last second, as events are.
  qCDebug(lcLag).noquote().nospace()
      << "longest_ms\t" << std::max<qint64>(longest_, 0) << "\tticks\t" << ticks_;
  windowStart_ = now;
  longest_ = 0;
  ticks_ = 0;
}

}  // namespace ui
