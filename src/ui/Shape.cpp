#include "ui/Shape.h"

#include <QPainter>

namespace ui {

TShape::TShape(QWidget* parent) : QWidget(parent) {}

void TShape::setPenColor(const QColor& color) {
  FPenColor = color;
  update();
}

void TShape::setBrushColor(const QColor& color) {
  FBrushColor = color;
  update();
}

void TShape::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), FBrushColor);
  painter.setPen(FPenColor);
  painter.setBrush(Qt::NoBrush);
  // The outline lies on the widget's outermost pixels.
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace ui
