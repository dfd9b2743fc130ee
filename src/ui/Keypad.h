// The wait panel's 16 keys: their colours follow the pointer and the mouse button, and a click
// (press and release on the same key) sends the key number in its Tag, once.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

namespace ui {

class TClickLabel;

class TKeypad final : public QObject {
  Q_OBJECT

 public:
  // `send` receives the clicked key's number (its Tag).
  TKeypad(std::vector<TClickLabel*> keys, std::function<void(int key)> send,
          QObject* parent = nullptr);

 private:
  void n1MouseEnter(TClickLabel* sender);
  void n1MouseLeave(TClickLabel* sender);
  void n1MouseDown(TClickLabel* sender);
  void n1MouseUp(TClickLabel* sender);
  void nSharpClick(TClickLabel* sender);

  std::function<void(int key)> send_;
};

}  // namespace ui
