// What the user ID box takes however the text comes (typed, pasted, dropped, from an input
// method): its digits alone. A number mailed as "06 12-34 56 78" pastes as 0612345678.
#pragma once

#include <QValidator>

namespace ui {

class TDigitsValidator final : public QValidator {
 public:
  using QValidator::QValidator;
  // Drops every character that is no digit, the cursor kept after the same digits.
  State validate(QString& input, int& position) const override;
};

}  // namespace ui
