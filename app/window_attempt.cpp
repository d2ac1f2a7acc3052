// The window's side of an install: what the install button starts, and what
// the window shows of each step the install flow reports.

#include "app/installer_app.h"
#include "app/visual_kit.h"
#include "engine/failure_text.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

std::vector<RhinoTarget> InstallerApp::selectedTargets() const {
  std::vector<RhinoTarget> selected;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (automatic || (i < choices.size() && choices[i]->on())) selected.push_back(targets[i]);
  }
  return selected;
}

void InstallerApp::install() {
  if (completedBackup) return viewBackup();
  if (!engine || busy) return;
  std::vector<RhinoTarget> selected = selectedTargets();
  if (selected.empty()) return;
  setBusy(true);
  cancelled = false;
  const InstallFlow::Reopen reopen =
      openRhino->on() ? InstallFlow::Reopen::quitOnesElseLastSelected : InstallFlow::Reopen::none;
  InstallFlow::Observer& observer = *this;
  flow_ = std::make_unique<InstallFlow>(*engine, toolkit_, toolkit_.workspace(),
                                        InstallFlow::Options{.reopen = reopen}, observer);
  flow_->start(std::move(selected), targets.size());
}

void InstallerApp::cancel() {
  cancelled = true;
  if (flow_) flow_->cancel();
}

void InstallerApp::statusChanged(const std::string& text) { status->setText(text); }

void InstallerApp::waitingChanged(bool waiting) { cancelButton->setHidden(!waiting); }

void InstallerApp::finished(const InstallFlow::Outcome& outcome) {
  switch (outcome.result) {
    case InstallFlow::Result::done:
    case InstallFlow::Result::unchanged:
      return succeeded(outcome);
    case InstallFlow::Result::refused:
      setBusy(false);
      return showError(outcome.message);
    case InstallFlow::Result::failed:
    case InstallFlow::Result::anotherInstallation:
      setBusy(false);
      status->setText("Installation stopped.");
      return showError(outcome.message);
    case InstallFlow::Result::cancelled:
    case InstallFlow::Result::rhinoStillRunning:
      setBusy(false);
      status->setText(outcome.message);
      return;
  }
}

void InstallerApp::succeeded(const InstallFlow::Outcome& outcome) {
  setBusy(false);
  completedBackup = outcome.backup;
  heading->setText("Nimbra is installed.");
  subtitle->setText("Open Grasshopper and select the Nimbra tab.");
  const std::string versions = InstallFlow::versionsText(outcome.targets);
  status->setText("Installed for " + versions);
  installButton->setAttributedTitle({TextRun{"View backup", {13, Weight::semibold}, palette::white}});
  for (const auto& control : {automaticButton, customButton, browseButton, refreshButton, openRhino}) {
    control->setEnabled(false);
  }
  for (const auto& choice : choices) choice->setEnabled(false);
  showCompletion(versions);
  if (!outcome.leftClosed.empty()) {
    status->setText(sentence::kOpenRhinoYourself);
    completionNote->setText(sentence::kOpenRhinoYourself);
    completionNote->setHidden(false);
  }
}

}  // namespace nimbra::ui
