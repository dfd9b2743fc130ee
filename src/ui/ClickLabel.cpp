#include "ui/ClickLabel.h"

#include <QMouseEvent>
#include <QPainter>

namespace ui {

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {}

void TClickLabel::setColor(const QColor& color) {
  FColor = color;
  update();
}

void TClickLabel::paintEvent(QPaintEvent* event) {
  if (FColor.isValid()) {
    QPainter painter(this);
    painter.fillRect(rect(), FColor);
  }
  QLabel::paintEvent(event);
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FPressed = true;
  emit mousePressed(event->button());
  event->accept();
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) FPressed = false;
  emit mouseReleased(event->button());
  event->accept();
  if (click) emit clicked();
}

void TClickLabel::enterEvent(QEnterEvent* event) {
  emit mouseEntered();
  QLabel::enterEvent(event);
}

void TClickLabel::leaveEvent(QEvent* event) {
  emit mouseLeft();
  QLabel::leaveEvent(event);
}

}  // namespace ui
