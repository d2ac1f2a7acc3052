#include "app/toolkit/view.h"

#include <algorithm>

namespace nimbra::ui {

namespace {
std::function<void()>& observer() {
  static std::function<void()> instance;
  return instance;
}
}  // namespace

void View::setChangeObserver(std::function<void()> callback) { observer() = std::move(callback); }

void View::notifyChange() {
  if (observer()) observer()();
}

void View::changed() { notifyChange(); }

void View::setLabelFor(const std::shared_ptr<View>& control) {
  labelFor_ = control;
  control->labelledBy_ = weak_from_this();
  changed();
}

bool View::hiddenOrInHidden() const {
  for (const View* view = this; view != nullptr; view = view->superview_) {
    if (view->hidden_) return true;
  }
  return false;
}

void View::addSubview(std::shared_ptr<View> view) {
  view->removeFromSuperview();
  view->superview_ = this;
  subviews_.push_back(std::move(view));
  changed();
}

void View::removeFromSuperview() {
  if (superview_ == nullptr) return;
  auto& siblings = superview_->subviews_;
  const auto self = std::find_if(siblings.begin(), siblings.end(), [this](const auto& v) { return v.get() == this; });
  View* parent = superview_;
  superview_ = nullptr;
  if (self != siblings.end()) siblings.erase(self);  // may release this view: touch nothing after
  parent->changed();
}

void View::removeAllSubviews() {
  for (const auto& view : subviews_) view->superview_ = nullptr;
  subviews_.clear();
  changed();
}

std::string View::accessibleName() const {
  std::string name = accessibilityLabel_;
  if (const auto label = labelledBy(); name.empty() && label) name = label->accessibleName();
  if (name.empty() && kind_ == Kind::label) name = static_cast<const Label&>(*this).text();
  if (name.empty() && kind_ == Kind::button) {
    const auto& button = static_cast<const Button&>(*this);
    name = button.title();
    for (const TextRun& run : button.attributedTitle()) {
      if (name.empty()) name = run.text.substr(0, run.text.find('\n'));
    }
  }
  // The arrow on a button is decoration; a screen reader would read it out.
  const std::string arrow = "\u2192";
  if (const std::size_t at = name.find(arrow); at != std::string::npos) name.erase(at, arrow.size());
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

Role Button::role() const {
  switch (style_) {
    case Style::checkbox: return Role::checkBox;
    case Style::card: return Role::radioButton;
    case Style::push:
    case Style::inline_: break;
  }
  return Role::pushButton;
}

bool Button::press() {
  if (!enabled_ || hiddenOrInHidden()) return false;
  if (style_ == Style::checkbox) setOn(!on_);
  if (action_) action_();
  return true;
}

}  // namespace nimbra::ui
