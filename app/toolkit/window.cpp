#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

Window::Window(std::string title, double width, double height)
    : title_(std::move(title)), content_(make<View>()) {
  content_->setFrame({0, 0, width, height});
}

void Window::makeFirstResponder(View* view) {
  firstResponder_ = view;
  View::notifyChange();
}

void Window::announce(std::string text, Urgency urgency) {
  announcements_.push_back({std::move(text), urgency});
  View::notifyChange();
}

namespace {

Button* findKeyButton(const View& view, const std::string& key) {
  for (const auto& child : view.subviews()) {
    if (child->hidden()) continue;
    if (child->kind() == View::Kind::button) {
      auto* button = static_cast<Button*>(child.get());
      if (button->enabled() && button->keyEquivalent() == key) return button;
    }
    if (Button* found = findKeyButton(*child, key)) return found;
  }
  return nullptr;
}

}  // namespace

bool Window::pressKey(const std::string& key) {
  if (firstResponder_ != nullptr && firstResponder_->kind() == View::Kind::button) {
    auto& responder = static_cast<Button&>(*firstResponder_);
    if (responder.keyEquivalent() == key && responder.press()) return true;
  }
  Button* button = findKeyButton(*content_, key);
  return button != nullptr && button->press();
}

}  // namespace nimbra::ui
