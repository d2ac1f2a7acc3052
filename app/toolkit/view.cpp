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

void View::changed() {
  if (observer()) observer()();
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

bool Button::press() {
  if (!enabled_ || hiddenOrInHidden()) return false;
  if (style_ == Style::checkbox) setOn(!on_);
  if (action_) action_();
  return true;
}

}  // namespace nimbra::ui
