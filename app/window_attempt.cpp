// The window's side of an install: what the install button starts, and what
// the window shows of each step the install flow reports.

#include "app/completion_screen.h"
#include "app/installer_app.h"
#include "app/welcome_screen.h"

namespace nimbra::ui {

void InstallerApp::install() {
  if (completedBackup_) return viewBackup();
  if (!engine_ || busy_) return;
  std::vector<RhinoTarget> selected = welcome_->selected();
  if (selected.empty()) return;
  setBusy(true);
  // For a screen reader: each target checked and installed, the backup, the end.
  steps_ = {0, 2 * static_cast<int>(selected.size()) + 2};
  welcome_->setSteps(steps_.done, steps_.total);
  const InstallFlow::Reopen reopen =
      welcome_->opensRhino() ? InstallFlow::Reopen::quitOnesElseLastSelected : InstallFlow::Reopen::none;
  InstallFlow::Observer& observer = *this;
  flow_ = std::make_unique<InstallFlow>(*engine_, toolkit_, toolkit_.workspace(),
                                        InstallFlow::Options{.reopen = reopen}, observer);
  flow_->start(std::move(selected), targets_.size());
}

void InstallerApp::cancel() {
  if (flow_) flow_->cancel();
}

void InstallerApp::statusChanged(const std::string& text) {
  welcome_->setStatus(text);
  // The engine's steps; the last counts once it has finished.
  if (!welcome_->waiting() && steps_.done < steps_.total - 1) welcome_->setSteps(++steps_.done, steps_.total);
}

void InstallerApp::waitingChanged(bool waiting) { welcome_->setWaiting(waiting); }

void InstallerApp::finished(const InstallFlow::Outcome& outcome) {
  switch (outcome.result) {
    case InstallFlow::Result::done:
    case InstallFlow::Result::unchanged:
      return succeeded(outcome);
    case InstallFlow::Result::refused:
      setBusy(false);
      return showError(outcome.message);
    case InstallFlow::Result::failed:
    case InstallFlow::Result::noRhino:
    case InstallFlow::Result::anotherInstallation: {
      setBusy(false);
      welcome_->setStatus("Installation stopped.");
      const bool busyElsewhere = outcome.result == InstallFlow::Result::anotherInstallation;
      return showError(outcome.message + (busyElsewhere ? " Wait until it has finished, then press Install again." : ""));
    }
    case InstallFlow::Result::cancelled:
    case InstallFlow::Result::rhinoStillRunning: {
      setBusy(false);
      const bool needsThePerson = outcome.result == InstallFlow::Result::rhinoStillRunning;
      welcome_->setStatus(outcome.message, needsThePerson ? Window::Urgency::assertive : Window::Urgency::polite);
      return;
    }
  }
}

void InstallerApp::succeeded(const InstallFlow::Outcome& outcome) {
  setBusy(false);
  welcome_->setSteps(steps_.total, steps_.total);
  completedBackup_ = outcome.backup;
  const std::string versions = InstallFlow::versionsText(outcome.targets);
  welcome_->showInstalled(versions);
  completion_ = std::make_unique<CompletionScreen>(toolkit_, *window_, versions, completedBackup_.has_value(),
                                                   CompletionScreen::Actions{.done = [this] { finish(); },
                                                                             .viewBackup = [this] { viewBackup(); }});
  if (!outcome.leftClosed.empty()) {
    welcome_->setStatus(sentence::kOpenRhinoYourself, Window::Urgency::assertive);
    completion_->showRhinoLeftClosed(sentence::kOpenRhinoYourself);
  }
}

}  // namespace nimbra::ui
