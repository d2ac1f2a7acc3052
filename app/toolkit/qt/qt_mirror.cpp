#include "app/toolkit/qt/qt_mirror.h"

#include <QAccessible>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

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
  widgets_[view.get()] = {view, widget, true, {}, -1};
  return widget;
}

void QtMirror::syncView(const std::shared_ptr<View>& view, QWidget* parent, double parentHeight,
                        std::vector<QWidget*>& focusChain) {
  QWidget* widget = widgetFor(view, parent);
  widgets_[view.get()].seen = true;
  // The one place where y flips: frames are y-up, Qt's geometry y-down.
  widget->setGeometry(flipped(view->frame(), parentHeight).toAlignedRect());
  widget->setVisible(!view->hidden());
  widget->setToolTip(QString::fromStdString(view->toolTip()));
  widget->setAccessibleName(QString::fromStdString(view->accessibleName()));
  if (view->kind() == View::Kind::button) {
    // Qt then keeps a disabled control out of Tab's way and moves the focus off it.
    widget->setEnabled(static_cast<const Button&>(*view).enabled());
    focusChain.push_back(widget);
  }
  widget->raise();  // subviews are in stacking order, the last on top
  dynamic_cast<ViewHolder&>(*widget).refresh();
  announce(*view, widget);
  for (const auto& child : view->subviews()) syncView(child, widget, view->frame().height, focusChain);
}

void QtMirror::announce(const View& view, QWidget* widget) {
  Entry& entry = widgets_[&view];
  const std::string name = view.accessibleName();
  int state = view.hiddenOrInHidden() ? 1 : 0;
  if (view.kind() == View::Kind::button) {
    const auto& button = static_cast<const Button&>(view);
    state |= (button.enabled() ? 2 : 0) | (button.on() ? 4 : 0);
  }
  if (entry.state >= 0 && name != entry.name) {
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  }
  if (entry.state >= 0 && state != entry.state) {
    QAccessible::State changed;
    changed.checked = changed.disabled = changed.invisible = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
  }
  entry.name = name;
  entry.state = state;
}

void QtMirror::sync() {
  for (auto& [key, entry] : widgets_) entry.seen = false;
  std::vector<QWidget*> focusChain;
  for (const auto& child : content_->subviews()) syncView(child, root_, content_->frame().height, focusChain);
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
  mirror_->sync();
}

void QtWindow::scheduleSync() {
  if (syncPending_) return;
  syncPending_ = true;
  QTimer::singleShot(0, this, [this] {
    syncPending_ = false;
    mirror_->sync();
    // A new first responder (the completion screen's Done) takes the focus.
    if (model_.firstResponder() != focusedResponder_) {
      focusedResponder_ = model_.firstResponder();
      if (QWidget* widget = mirror_->widgetOf(focusedResponder_)) widget->setFocus(Qt::OtherFocusReason);
    }
  });
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
