#pragma once

// Mirrors the toolkit's view objects on screen: one QWidget per view, created,
// placed (y flipped once, here), restacked and repainted whenever a view
// changes, and deleted when its view goes away.

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class Announcement;

class QtMirror {
 public:
  QtMirror(QWidget* root, std::shared_ptr<View> content, Toolkit& toolkit);
  // Brings every widget in line with its view, Tab's order with the views'
  // reading order, and tells assistive technology what changed. focus runs
  // before any widget is hidden or disabled: Qt moves the focus off a
  // control as it goes, to the next, which may go next.
  void sync(const std::function<void()>& focus);
  // The widget that shows view, if any.
  QWidget* widgetOf(const View* view) const;

 private:
  // Widgets to hide or disable once the focus has moved.
  struct Leaving {
    std::vector<QWidget*> hiding, disabling;
  };
  QWidget* widgetFor(const std::shared_ptr<View>& view, QWidget* parent);
  void syncView(const std::shared_ptr<View>& view, QWidget* parent, double parentHeight,
                std::vector<QWidget*>& focusChain, Leaving& leaving);

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

// The top-level window: fixed size, asks the delegate before it closes and
// calls closed once it has. Return and Escape press the buttons that answer
// to them.
class QtWindow : public QWidget {
 public:
  QtWindow(Window& model, ApplicationDelegate& delegate, Toolkit& toolkit, std::function<void()> closed);
  void closeWithoutAsking();
  void scheduleSync();
  const Window& model() const { return model_; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // Moves the focus where the window's first responder says, once for each
  // change of it.
  void followResponder();
  void sayAnnouncements();

  Window& model_;
  ApplicationDelegate& delegate_;
  std::function<void()> closed_;
  std::unique_ptr<QtMirror> mirror_;
  const View* focusedResponder_ = nullptr;
  QPointer<QWidget> returnTo_;  // where the focus was before the screens moved it
  std::deque<QPointer<Announcement>> said_;  // the last few, the newest shown
  std::size_t announced_ = 0;
  bool closing_ = false;
  bool syncPending_ = false;
};

}  // namespace nimbra::ui
