#include "app/DeviceLists.h"

namespace app {

TDeviceLists::TDeviceLists(Show show, std::function<void()> list,
                           std::function<void(int)> useOutput, std::function<void(int)> useInput)
    : show_(std::move(show)),
      list_(std::move(list)),
      useOutput_(std::move(useOutput)),
      useInput_(std::move(useInput)) {}

void TDeviceLists::Remember(std::string output, std::string input) {
  remembered_ = std::pair(std::move(output), std::move(input));
}

void TDeviceLists::Listed(const platform::DeviceListing& listing, bool connexionShown) {
  // A listing that comes back once another panel shows is asked for again when it returns.
  if (!connexionShown && listed_) {
    pending_ = true;
    return;
  }
  listed_ = true;
  outputs_.Refill(listing.Outputs, listing.DefaultOutput);
  inputs_.Refill(listing.Inputs, listing.DefaultInput);
  if (remembered_) {
    outputs_.Select(remembered_->first);
    inputs_.Select(remembered_->second);
    remembered_.reset();
  }
  useOutput_(outputs_.List().Selected);
  useInput_(inputs_.List().Selected);
  show_(outputs_.List(), inputs_.List(),
        !outputs_.List().Names.empty() && !inputs_.List().Names.empty());
}

void TDeviceLists::Changed(bool connexionShown) {
  if (connexionShown) {
    list_();
  } else {
    pending_ = true;
  }
}

void TDeviceLists::ConnexionShown() {
  if (!pending_) return;
  pending_ = false;
  list_();
}

void TDeviceLists::PickOutput(int position) {
  outputs_.Pick(position);
  useOutput_(position);
}

void TDeviceLists::PickInput(int position) {
  inputs_.Pick(position);
  useInput_(position);
}

std::pair<std::string, std::string> TDeviceLists::Chosen() const {
  return remembered_.value_or(std::pair(outputs_.SelectedName(), inputs_.SelectedName()));
}

}  // namespace app
