#pragma once

// The window's alert: a modal sheet in the visual kit's look, laid over the
// window (or alone on the screen before there is one). It is built from views
// like everything else, so the keyboard and screen readers treat it alike.
// While it is shown it keeps the keyboard, whatever is clicked behind it, and
// gives the focus back to the control that had it when it closes.

#include <QDialog>
#include <QPointer>
#include <memory>

#include "app/toolkit/qt/qt_mirror.h"
#include "app/toolkit/qt/qt_widgets.h"

namespace nimbra::ui {

class AlertSheet : public QDialog, public ViewHolder {
 public:
  // message is the bold title line, informative the text below it.
  AlertSheet(const std::string& message, const std::string& informative, QWidget* window, Toolkit& toolkit);
  std::shared_ptr<View> view() const override { return panel_; }
  void refresh() override { update(); }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

 private:
  void takeKeyboard();

  std::shared_ptr<View> content_;
  std::shared_ptr<View> panel_;
  std::shared_ptr<Button> ok_;
  std::unique_ptr<QtMirror> mirror_;
  QPointer<QWidget> previousFocus_;
};

}  // namespace nimbra::ui
