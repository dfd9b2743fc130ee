// A rectangle shape: a filled rectangle with a one-pixel outline, the body of the window's
// buttons and the bullet before the account link.
#pragma once

#include <QColor>
#include <QWidget>

namespace ui {

class TShape : public QWidget {
  Q_OBJECT
  Q_PROPERTY(QColor penColor READ PenColor WRITE setPenColor)
  Q_PROPERTY(QColor brushColor READ BrushColor WRITE setBrushColor)

 public:
  explicit TShape(QWidget* parent = nullptr);

  QColor PenColor() const { return penColor_; }
  void setPenColor(const QColor& color);
  QColor BrushColor() const { return brushColor_; }
  void setBrushColor(const QColor& color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor penColor_ = Qt::black;
  QColor brushColor_ = Qt::white;
};

}  // namespace ui
