#include "ui/PaintBox.h"

#include <QPaintEvent>
#include <QPainter>

namespace ui {

TPaintBox::TPaintBox(QWidget* parent) : QWidget(parent) {}

QImage& TPaintBox::Canvas() {
  if (canvas_.size() != size()) {
    QImage canvas(size(), QImage::Format_RGB32);
    canvas.fill(Qt::black);
    if (!canvas_.isNull()) {
      QPainter painter(&canvas);
      painter.drawImage(0, 0, canvas_);
    }
    canvas_ = canvas;
    // The drawing covers the whole box from now on: nothing behind it needs painting first,
    // which would otherwise redraw the panel under it with every capture block.
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  return canvas_;
}

void TPaintBox::Clear() {
  canvas_ = QImage();
  setAttribute(Qt::WA_OpaquePaintEvent, false);
  update();
}

void TPaintBox::paintEvent(QPaintEvent* event) {
  if (canvas_.isNull()) return;
  QPainter painter(this);
  painter.drawImage(event->rect().topLeft(), canvas_, event->rect());
}

}  // namespace ui
