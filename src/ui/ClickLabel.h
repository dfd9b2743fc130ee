// A label that can be clicked, as the window's buttons, keypad keys and links are. It carries
// an integer `Tag` for its handler, a remembered caption (`hint`) and, unless transparent, a
// background colour of its own that handlers may change.
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

 public:
  explicit TClickLabel(QWidget* parent = nullptr);

  int Tag() const { return FTag; }
  void setTag(int tag) { FTag = tag; }
  const QString& Hint() const { return FHint; }
  void setHint(const QString& hint) { FHint = hint; }
  // An invalid colour (the default) leaves the label transparent.
  QColor Color() const { return FColor; }
  void setColor(const QColor& color);

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

 private:
  int FTag = 0;
  QString FHint;
  QColor FColor;
  bool FPressed = false;
};

}  // namespace ui
