#pragma once

// The completion screen, laid over the welcome screen (whose controls it
// hides) with the celebration on top. Done ignores presses in its first
// moments: it stands where Install stood, and a second press meant for
// Install, or a hurried Return, must not close the window before it is read.

#include <functional>
#include <memory>
#include <string>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class CompletionScreen {
 public:
  struct Actions {
    std::function<void()> done, viewBackup;
  };
  // versions: "Rhino 7 and Rhino 8"; hasBackup: whether View backup can open one.
  CompletionScreen(Toolkit& toolkit, Window& window, const std::string& versions, bool hasBackup, Actions actions);

  // Rhino could not be opened again: the user is asked to open it.
  void showRhinoLeftClosed(const std::string& text);

  static constexpr double kDoneGrace = 0.6;

 private:
  Toolkit& toolkit_;
  Actions actions_;
  double shownAt_;
  std::shared_ptr<Label> note_;
};

}  // namespace nimbra::ui
