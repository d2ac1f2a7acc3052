#pragma once

// Mirrors the toolkit's view objects on screen: one QWidget per view, created,
// placed (y flipped once, here), restacked and repainted whenever a view
// changes, and deleted when its view goes away.

#include <QWidget>
#include <map>
#include <memory>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class QtMirror {
 public:
  QtMirror(QWidget* root, std::shared_ptr<View> content, Toolkit& toolkit);
  // Brings every widget in line with its view.
  void sync();

 private:
  QWidget* widgetFor(const std::shared_ptr<View>& view, QWidget* parent);
  void syncView(const std::shared_ptr<View>& view, QWidget* parent, double parentHeight);

  QWidget* root_;
  std::shared_ptr<View> content_;
  Toolkit& toolkit_;
  struct Entry {
    std::weak_ptr<View> view;
    QWidget* widget;
    bool seen;
  };
  std::map<const View*, Entry> widgets_;
};

// The top-level window: fixed size, asks the delegate before it closes.
class QtWindow : public QWidget {
 public:
  QtWindow(Window& model, ApplicationDelegate& delegate, Toolkit& toolkit);
  void closeWithoutAsking();
  void scheduleSync();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  Window& model_;
  ApplicationDelegate& delegate_;
  std::unique_ptr<QtMirror> mirror_;
  bool closing_ = false;
  bool syncPending_ = false;
};

}  // namespace nimbra::ui
