#include "ui/ClickLabel.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>

namespace ui {

namespace {

// What a screen reader is told of a clickable label: a button or a link, named by its caption,
// that can be pressed.
class TClickLabelAccessible final : public QAccessibleWidget {
 public:
  explicit TClickLabelAccessible(TClickLabel* label)
      : QAccessibleWidget(
            label, label->Kind() == TClickLabel::Link ? QAccessible::Link : QAccessible::Button) {}
  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Name) return Label()->text();
    return QAccessibleWidget::text(kind);
  }
  QStringList actionNames() const override {
    return QStringList(pressAction()) + QAccessibleWidget::actionNames();
  }
  void doAction(const QString& action) override {
    if (action == pressAction()) {
      Label()->Activate();
    } else {
      QAccessibleWidget::doAction(action);
    }
  }

 private:
  TClickLabel* Label() const { return static_cast<TClickLabel*>(widget()); }
};

QAccessibleInterface* ClickLabelAccessible(const QString&, QObject* object) {
  // A plain text label is left to the label's own interface.
  auto* label = qobject_cast<TClickLabel*>(object);
  if (label == nullptr || label->Kind() == TClickLabel::Text) return nullptr;
  return new TClickLabelAccessible(label);
}

}  // namespace

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent) {
  static const bool installed = (QAccessible::installFactory(ClickLabelAccessible), true);
  Q_UNUSED(installed);
}

void TClickLabel::setKind(TKind kind) {
  kind_ = kind;
  // Tab, not a click: a mouse user never sees the focus mark.
  setFocusPolicy(kind == Text ? Qt::NoFocus : Qt::TabFocus);
}

void TClickLabel::setColor(const QColor& color) {
  color_ = color;
  update();
}

void TClickLabel::paintEvent(QPaintEvent* event) {
  if (color_.isValid()) {
    QPainter painter(this);
    painter.fillRect(rect(), color_);
  }
  if (kind_ == Text) return QLabel::paintEvent(event);
  // Drawn here rather than by the label, which places a focusable label's centred caption a
  // pixel aside: a control looks as it always did until the keyboard gives it the focus.
  QPainter painter(this);
  style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                        isEnabled(), text(), foregroundRole());
  if (hasFocus()) {
    painter.setPen(QPen(palette().color(foregroundRole()), 1, Qt::DotLine));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void TClickLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) pressed_ = true;
  emit mousePressed(event->button());
  event->accept();
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  if (event->button() == Qt::LeftButton) pressed_ = false;
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

void TClickLabel::keyPressEvent(QKeyEvent* event) {
  const bool clicks = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
                      event->key() == Qt::Key_Space;
  if (kind_ == Text || !clicks) return QLabel::keyPressEvent(event);
  event->accept();
  if (!event->isAutoRepeat()) emit clicked();
}

void TClickLabel::focusInEvent(QFocusEvent* event) {
  update();
  QLabel::focusInEvent(event);
}

void TClickLabel::focusOutEvent(QFocusEvent* event) {
  update();
  QLabel::focusOutEvent(event);
}

}  // namespace ui
