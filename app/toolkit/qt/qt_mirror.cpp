#include "app/toolkit/qt/qt_mirror.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#include "app/toolkit/qt/qt_painting.h"
#include "app/toolkit/qt/qt_widgets.h"

namespace nimbra::ui {

QtMirror::QtMirror(QWidget* root, std::shared_ptr<View> content, Toolkit& toolkit)
    : root_(root), content_(std::move(content)), toolkit_(toolkit) {}

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
    case View::Kind::button: widget = new ButtonWidget(view, parent); break;
    case View::Kind::progress: widget = new ProgressWidget(view, parent); break;
    case View::Kind::image: widget = new ImageWidget(view, parent); break;
    case View::Kind::artwork: widget = new ArtworkWidget(view, parent); break;
    case View::Kind::celebration: widget = new CelebrationWidget(view, parent, toolkit_); break;
    case View::Kind::plain: widget = new MirrorWidget(view, parent); break;
  }
  widgets_[view.get()] = {view, widget, true};
  return widget;
}

void QtMirror::syncView(const std::shared_ptr<View>& view, QWidget* parent, double parentHeight) {
  QWidget* widget = widgetFor(view, parent);
  widgets_[view.get()].seen = true;
  // The one place where y flips: frames are y-up, Qt's geometry y-down.
  widget->setGeometry(flipped(view->frame(), parentHeight).toAlignedRect());
  widget->setVisible(!view->hidden());
  widget->setToolTip(QString::fromStdString(view->toolTip()));
  widget->setAccessibleName(QString::fromStdString(view->accessibilityLabel()));
  widget->raise();  // subviews are in stacking order, the last on top
  widget->update();
  for (const auto& child : view->subviews()) syncView(child, widget, view->frame().height);
}

void QtMirror::sync() {
  for (auto& [key, entry] : widgets_) entry.seen = false;
  for (const auto& child : content_->subviews()) syncView(child, root_, content_->frame().height);
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

QtWindow::QtWindow(Window& model, ApplicationDelegate& delegate, Toolkit& toolkit)
    : model_(model), delegate_(delegate) {
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
  });
}

void QtWindow::closeWithoutAsking() {
  closing_ = true;
  close();
}

void QtWindow::closeEvent(QCloseEvent* event) {
  if (closing_ || delegate_.windowShouldClose()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void QtWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    if (model_.pressReturn()) return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace nimbra::ui
