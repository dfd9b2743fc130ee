// A paint box: a surface that paints nothing by itself. Its owner draws on Canvas() (the level
// trace of each capture buffer) and the box shows the last drawing until the next one, or
// until Clear, after which it shows what lies under it again.
#pragma once

#include <QImage>
#include <QWidget>

namespace ui {

class TPaintBox : public QWidget {
  Q_OBJECT

 public:
  explicit TPaintBox(QWidget* parent = nullptr);

  // The drawing surface, the box's size; call update() after drawing on it.
  QImage& Canvas();
  void Clear();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage canvas_;
};

}  // namespace ui
