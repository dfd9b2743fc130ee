#include "ui/DigitsValidator.h"

namespace ui {

QValidator::State TDigitsValidator::validate(QString& input, int& position) const {
  QString digits;
  int kept = 0;
  for (int i = 0; i < input.size(); ++i) {
    if (input[i] < QLatin1Char('0') || input[i] > QLatin1Char('9')) continue;
    digits += input[i];
    if (i < position) ++kept;
  }
  input = digits;
  position = kept;
  return Acceptable;
}

}  // namespace ui
