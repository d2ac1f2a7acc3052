#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

Window::Window(std::string title, double width, double height)
    : title_(std::move(title)), content_(make<View>()) {
  content_->setFrame({0, 0, width, height});
}

namespace {

Button* findReturnButton(const View& view) {
  for (const auto& child : view.subviews()) {
    if (child->hidden()) continue;
    if (child->kind() == View::Kind::button) {
      auto* button = static_cast<Button*>(child.get());
      if (button->enabled() && button->keyEquivalent() == "\r") return button;
    }
    if (Button* found = findReturnButton(*child)) return found;
  }
  return nullptr;
}

}  // namespace

bool Window::pressReturn() {
  if (firstResponder_ != nullptr && firstResponder_->keyEquivalent() == "\r" && firstResponder_->press()) return true;
  Button* button = findReturnButton(*content_);
  return button != nullptr && button->press();
}

}  // namespace nimbra::ui
