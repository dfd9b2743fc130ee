#include "ui/Keypad.h"

#include "ui/ClickLabel.h"

namespace ui {

namespace {
const QColor kAtRest(0xDB, 0x00, 0x16);
const QColor kPointerOver(0xFF, 0x00, 0x00);
const QColor kHeldDown(0xFF, 0xFF, 0x00);
}  // namespace

TKeypad::TKeypad(std::vector<TClickLabel*> keys, std::function<void(int key)> send, QObject* parent)
    : QObject(parent), send_(std::move(send)) {
  for (TClickLabel* key : keys) {
    connect(key, &TClickLabel::mouseEntered, this, [this, key] { n1MouseEnter(key); });
    connect(key, &TClickLabel::mouseLeft, this, [this, key] { n1MouseLeave(key); });
    connect(key, &TClickLabel::mousePressed, this, [this, key] { n1MouseDown(key); });
    connect(key, &TClickLabel::mouseReleased, this, [this, key] { n1MouseUp(key); });
    connect(key, &TClickLabel::clicked, this, [this, key] { nSharpClick(key); });
  }
}

void TKeypad::n1MouseEnter(TClickLabel* sender) {
  sender->setColor(kPointerOver);
}

void TKeypad::n1MouseLeave(TClickLabel* sender) {
  sender->setColor(kAtRest);
}

void TKeypad::n1MouseDown(TClickLabel* sender) {
  sender->setColor(kHeldDown);
}

void TKeypad::n1MouseUp(TClickLabel* sender) {
  sender->setColor(kPointerOver);
}

void TKeypad::nSharpClick(TClickLabel* sender) {
  if (send_) send_(sender->Tag());
}

}  // namespace ui
