#include "ui/Shape.h"

#include <QPainter>

namespace ui {

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::setPenColor(const QColor& color) {
  penColor_ = color;
  update();
}

void TShape::setBrushColor(const QColor& color) {
  brushColor_ = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), brushColor_);
  painter.setPen(penColor_);
  painter.setBrush(Qt::NoBrush);
  // The outline lies on the widget's outermost pixels.
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace ui
