#include "ui/TraceImage.h"

#include <QColor>

#include <algorithm>
#include <limits>

#include "media/LevelTrace.h"

namespace ui {

namespace {

class Plotter {
 public:
  explicit Plotter(QImage& canvas) : canvas_(canvas) {}

  // Rows `from` to `to`, both included, of column `x`.
  void Column(int x, int from, int to) {
    const int step = to < from ? -1 : 1;
    for (int y = from;; y += step) {
      Plot(x, y);
      if (y == to) break;
    }
  }
  void Plot(int x, int y) {
    if (x < 0 || y < 0 || x >= canvas_.width() || y >= canvas_.height()) return;
    reinterpret_cast<QRgb*>(canvas_.scanLine(y))[x] = kGreen;
    top_ = std::min(top_, y);
    bottom_ = std::max(bottom_, y);
  }
  QRect Rows() const {
    return top_ > bottom_ ? QRect() : QRect(0, top_, canvas_.width(), bottom_ - top_ + 1);
  }

 private:
  static constexpr QRgb kGreen = 0xFF00FF00;
  QImage& canvas_;
  int top_ = std::numeric_limits<int>::max();
  int bottom_ = std::numeric_limits<int>::min();
};

}  // namespace

QRect DrawTrace(QImage& canvas, const media::TLevelTrace& trace) {
  canvas.fill(Qt::black);
  Plotter plot(canvas);
  int last = media::kTraceMiddle;
  for (std::size_t i = 0; i < trace.Offsets.size(); ++i) {
    const int x = static_cast<int>(i);
    const int y = media::kTraceMiddle + trace.Offsets[i];
    if (i == 0) {
      plot.Column(x, last, y);
    } else {
      plot.Column(x - 1, last, y == last ? y : y + (y < last ? 1 : -1));
      plot.Plot(x, y);
    }
    last = y;
  }
  return plot.Rows();
}

}  // namespace ui
