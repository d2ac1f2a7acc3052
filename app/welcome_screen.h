#pragma once

// The first screen: the artwork, the two ways to install (automatically, or
// choosing Rhinos by hand), the Rhinos found, and the controls of an
// attempt. It keeps its controls to itself: the application tells it what is
// going on, and its buttons call the application's actions.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/target_list.h"
#include "app/toolkit/toolkit.h"
#include "engine/rhino_target.h"

namespace nimbra::ui {

class WelcomeScreen {
 public:
  struct Actions {
    std::function<void()> locate, searchAgain, install, cancel;
  };
  WelcomeScreen(Toolkit& toolkit, Window& window, Actions actions);

  // The status line, also told to a screen reader.
  void setStatus(const std::string& text, Window::Urgency urgency = Window::Urgency::polite);
  // How far an attempt is, for a screen reader.
  void setSteps(int done, int total) { progress_->setSteps(done, total); }
  // The Rhinos to choose from, every one checked.
  void showTargets(const std::vector<RhinoTarget>& targets);
  // Switches to choosing by hand (as after locating a Rhino).
  void chooseByHand();
  // Those to install: all in the automatic mode, else the checked ones.
  std::vector<RhinoTarget> selected() const { return list_.checked(); }
  bool opensRhino() const { return openRhino_->on(); }

  // Discovery or an attempt in progress: nothing can be chosen, and the
  // progress bar runs and has the focus; after, the focus goes back.
  void setBusy(bool busy);
  // Without an engine there is nothing to find, locate or install.
  void setUnavailable();
  // Whether Cancel is offered: while waiting for Rhino to quit, with the
  // focus on it.
  void setWaiting(bool waiting);
  bool waiting() const { return !cancel_->hidden(); }
  // After an install: the heading says so, nothing can be chosen, and
  // Install becomes View backup.
  void showInstalled(const std::string& versions);

 private:
  void build(Toolkit& toolkit, View& content);
  std::shared_ptr<Button> option(View& content, const std::string& title, const std::string& sub, const Rect& frame,
                                 bool automatic);
  void selectMode(bool automatic);
  // Every control's enabled state and look, from the state below.
  void apply();

  Window& window_;
  Actions actions_;
  bool automatic_ = true;
  bool busy_ = false;
  bool available_ = true;
  bool installed_ = false;
  std::shared_ptr<Label> heading_, subtitle_, status_;
  std::shared_ptr<Button> automaticCard_, customCard_, locate_, searchAgain_, openRhino_, install_, cancel_;
  std::shared_ptr<ProgressBar> progress_;
  TargetList list_;
};

}  // namespace nimbra::ui
