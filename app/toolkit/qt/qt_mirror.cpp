#include "app/toolkit/qt/qt_mirror.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#include "app/toolkit/qt/qt_accessibility.h"
#include "app/toolkit/qt/qt_painting.h"
#include "app/toolkit/qt/qt_widgets.h"

namespace nimbra::ui {

QtMirror::QtMirror(QWidget* root, std::shared_ptr<View> content, Toolkit& toolkit)
    : root_(root), content_(std::move(content)), toolkit_(toolkit) {}

namespace {

QWidget* buttonFor(const std::shared_ptr<View>& view, QWidget* parent) {
  switch (static_cast<const Button&>(*view).style()) {
    case Button::Style::checkbox: return new CheckBoxWidget(view, parent);
    case Button::Style::card: return new CardWidget(view, parent);
    case Button::Style::push:
    case Button::Style::inline_: break;
  }
  return new PushButtonWidget(view, parent);
}

}  // namespace

QWidget* QtMirror::widgetFor(const std::shared_ptr<View>& view, QWidget* parent) {
  auto found = widgets_.find(view.get());
  if (found != widgets_.end() && found->second.view.lock() == view && found->second.widget->parentWidget() == parent) {
    return found->second.widget;
  }
  if (found != widgets_.end()) {
    delete found->second.widget;
    widgets_.erase(found);
  }
  QWidget* widget = nullptr;
  switch (view->kind()) {
    case View::Kind::label: widget = new LabelWidget(view, parent); break;
    case View::Kind::button: widget = buttonFor(view, parent); break;
    case View::Kind::progress: widget = new ProgressWidget(view, parent); break;
    case View::Kind::image: widget = new ImageWidget(view, parent); break;
    case View::Kind::drawing: widget = new DrawingWidget(view, parent); break;
    case View::Kind::animation: widget = new AnimationWidget(view, parent, toolkit_); break;
    case View::Kind::plain: widget = new MirrorWidget(view, parent); break;
  }
  widgets_[view.get()] = {view, widget, true};
  return widget;
}

void QtMirror::syncView(const std::shared_ptr<View>& view, QWidget* parent, double parentHeight,
                        std::vector<QWidget*>& focusChain, Leaving& leaving) {
  QWidget* widget = widgetFor(view, parent);
  widgets_[view.get()].seen = true;
  // The one place where y flips: frames are y-up, Qt's geometry y-down.
  widget->setGeometry(flipped(view->frame(), parentHeight).toAlignedRect());
  // Before it hides: a bar's last value is told while it is still shown.
  dynamic_cast<ViewHolder&>(*widget).refresh();
  // Qt tells assistive technology of what changes in its widget's state
  // (shown, enabled, checked), which follows the view's from here on.
  if (!view->hidden()) widget->setVisible(true);
  if (view->hidden() && !widget->isHidden()) leaving.hiding.push_back(widget);
  widget->setToolTip(QString::fromStdString(view->toolTip()));
  // Qt tells assistive technology of a new name or description at every
  // call, changed or not; a screen reader may read the focused control again.
  const QString name = QString::fromStdString(view->accessibleName());
  if (widget->accessibleName() != name) widget->setAccessibleName(name);
  const QString description = QString::fromStdString(view->accessibleDescription());
  if (widget->accessibleDescription() != description) widget->setAccessibleDescription(description);
  if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && view->labelFor()) {
    label->setBuddy(widgetOf(view->labelFor().get()));
  }
  if (view->kind() == View::Kind::button) {
    // Qt then keeps a disabled control out of Tab's way.
    const bool enabled = static_cast<const Button&>(*view).enabled();
    if (enabled) widget->setEnabled(true);
    if (!enabled && widget->isEnabled()) leaving.disabling.push_back(widget);
    focusChain.push_back(widget);
  }
  widget->raise();  // subviews are in stacking order, the last on top
  for (const auto& child : view->subviews()) syncView(child, widget, view->frame().height, focusChain, leaving);
}

void QtMirror::sync(const std::function<void()>& focus) {
  for (auto& [key, entry] : widgets_) entry.seen = false;
  std::vector<QWidget*> focusChain;
  Leaving leaving;
  for (const auto& child : content_->subviews()) {
    syncView(child, root_, content_->frame().height, focusChain, leaving);
  }
  focus();
  for (QWidget* widget : leaving.hiding) widget->setVisible(false);
  for (QWidget* widget : leaving.disabling) widget->setEnabled(false);
  // Tab follows the views' order, which is the order a reader takes them in,
  // whenever each widget was made.
  for (std::size_t i = 1; i < focusChain.size(); ++i) QWidget::setTabOrder(focusChain[i - 1], focusChain[i]);
  for (auto it = widgets_.begin(); it != widgets_.end();) {
    if (it->second.seen) {
      ++it;
      continue;
    }
    it->second.widget->hide();
    it->second.widget->deleteLater();
    it = widgets_.erase(it);
  }
}

QWidget* QtMirror::widgetOf(const View* view) const {
  const auto found = widgets_.find(view);
  return found == widgets_.end() ? nullptr : found->second.widget;
}

QtWindow::QtWindow(Window& model, ApplicationDelegate& delegate, Toolkit& toolkit, std::function<void()> closed)
    : model_(model), delegate_(delegate), closed_(std::move(closed)) {
  setWindowTitle(QString::fromStdString(model.title()));
  setFixedSize(int(model.content()->frame().width), int(model.content()->frame().height));
  QPalette colours = palette();
  colours.setColor(QPalette::Window, toQt(model.background()));
  setPalette(colours);
  setAutoFillBackground(true);
  mirror_ = std::make_unique<QtMirror>(this, model.content(), toolkit);
  mirror_->sync([] {});
}

void QtWindow::scheduleSync() {
  if (syncPending_) return;
  syncPending_ = true;
  QTimer::singleShot(0, this, [this] {
    syncPending_ = false;
    mirror_->sync([this] { followResponder(); });
    sayAnnouncements();
  });
}

void QtWindow::followResponder() {
  const View* responder = model_.firstResponder();
  if (responder == focusedResponder_) return;
  if (focusedResponder_ == nullptr) returnTo_ = QApplication::focusWidget();
  focusedResponder_ = responder;
  QWidget* target = responder != nullptr ? mirror_->widgetOf(responder) : returnTo_.data();
  // Nowhere to go back to: the window itself, where Tab starts from the first control.
  if (target == nullptr || !target->isVisible() || !target->isEnabled()) target = this;
  target->setFocus(Qt::OtherFocusReason);
}

void QtWindow::sayAnnouncements() {
  const std::vector<Window::Announcement>& all = model_.announcements();
  for (; announced_ < all.size(); ++announced_) {
    if (!said_.empty() && said_.back()) said_.back()->hide();
    // Kept a while after: a screen reader reads an announcement when it
    // gets to it, and steps can follow each other by the millisecond.
    if (said_.size() == 16) {
      if (said_.front()) said_.front()->deleteLater();
      said_.pop_front();
    }
    const Window::Announcement& text = all[announced_];
    said_.emplace_back(new Announcement(this, QString::fromStdString(text.text),
                                        text.urgency == Window::Urgency::assertive));
    said_.back()->show();
  }
}

void QtWindow::closeWithoutAsking() {
  closing_ = true;
  close();
}

void QtWindow::closeEvent(QCloseEvent* event) {
  // The close button, Alt+F4 and the window manager all arrive here.
  if (!closing_ && !delegate_.windowShouldClose()) return event->ignore();
  event->accept();
  model_.setVisible(false);
  if (!closing_ && closed_) QTimer::singleShot(0, closed_);
}

void QtWindow::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if ((key == Qt::Key_Return || key == Qt::Key_Enter) && model_.pressKey("\r")) return;
  if (key == Qt::Key_Escape && model_.pressKey("\x1b")) return;
  QWidget::keyPressEvent(event);
}

}  // namespace nimbra::ui
