// A label that can be clicked, as the window's buttons, keypad keys and links are. It carries
// an integer `Tag` for its handler, a remembered caption (`hint`) and, unless transparent, a
// background colour of its own that handlers may change. A label of kind Button or Link is a
// control for the keyboard and for screen readers too: Tab reaches it, Enter and Space click
// it, it shows a dotted mark while it has the focus, and it reads as a button or a link named
// by its caption.
#pragma once

#include <QColor>
#include <QLabel>
#include <QString>

namespace ui {

class TClickLabel : public QLabel {
  Q_OBJECT
  Q_PROPERTY(int Tag READ Tag WRITE setTag)
  Q_PROPERTY(QString hint READ Hint WRITE setHint)
  Q_PROPERTY(QColor color READ Color WRITE setColor)
  Q_PROPERTY(TKind kind READ Kind WRITE setKind)

 public:
  enum TKind { Text, Button, Link };
  Q_ENUM(TKind)

  explicit TClickLabel(QWidget* parent = nullptr);

  int Tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  const QString& Hint() const { return hint_; }
  void setHint(const QString& hint) { hint_ = hint; }
  // An invalid colour (the default) leaves the label transparent.
  QColor Color() const { return color_; }
  void setColor(const QColor& color);
  TKind Kind() const { return kind_; }
  void setKind(TKind kind);
  // What a click does, for the keyboard and for assistive technologies.
  void Activate() { emit clicked(); }

 signals:
  // Press and release of the left button inside the label.
  void clicked();
  void mouseEntered();
  void mouseLeft();
  void mousePressed(Qt::MouseButton button);
  void mouseReleased(Qt::MouseButton button);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  TKind kind_ = Text;
  int tag_ = 0;
  QString hint_;
  QColor color_;
  bool pressed_ = false;
};

}  // namespace ui
