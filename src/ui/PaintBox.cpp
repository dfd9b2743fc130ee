#include "ui/PaintBox.h"

#include <QPainter>

namespace ui {

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {}

QImage& TPaintBox::Canvas() {
  if (FCanvas.size() != size()) {
    QImage canvas(size(), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    if (!FCanvas.isNull()) {
      QPainter painter(&canvas);
      painter.drawImage(0, 0, FCanvas);
    }
    FCanvas = canvas;
  }
  return FCanvas;
}

void TPaintBox::paintEvent(QPaintEvent*) {
  if (FCanvas.isNull()) return;
  QPainter painter(this);
  painter.drawImage(0, 0, FCanvas);
}

}  // namespace ui
