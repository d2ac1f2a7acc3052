// From a press of the install button to its outcome: the shared-copy guard,
// asking Rhino to quit and waiting for it, the engine's install in the
// background, and what the window shows afterwards.

#include <algorithm>
#include <set>

#include "app/installer_app.h"
#include "app/visual_kit.h"
#include "engine/failure_text.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {
constexpr double kWaitInterval = 0.25;
constexpr double kWaitLimit = 120;
}  // namespace

struct InstallerApp::Attempt {
  std::vector<RhinoTarget> selected;
  std::vector<pid_t> quitProcesses;
  std::vector<fs::path> quitApplications;
  double deadline = 0;
};

std::vector<RhinoTarget> InstallerApp::selectedTargets() const {
  std::vector<RhinoTarget> selected;
  for (std::size_t i = 0; i < targets.size(); ++i) {
    if (automatic || (i < choices.size() && choices[i]->on())) selected.push_back(targets[i]);
  }
  return selected;
}

bool InstallerApp::sharedLegacyCopyBlocks(std::size_t selected) {
  if (selected >= targets.size()) return false;  // every listed Rhino is updated; the engine moves the copy
  try {
    if (engine->scanLegacy(engine->legacyRoots()).empty()) return false;
    showError(InstallError("The existing Nimbra copy is shared by Rhino 7 and 8. Select both versions for this update."));
  } catch (const std::exception& error) {
    showError(error);
  }
  return true;
}

void InstallerApp::install() {
  if (completedBackup) return viewBackup();
  if (!engine || busy) return;
  auto attempt = std::make_shared<Attempt>();
  attempt->selected = selectedTargets();
  if (attempt->selected.empty() || sharedLegacyCopyBlocks(attempt->selected.size())) return;

  setBusy(true);
  cancelled = false;
  cancelButton->setHidden(false);
  std::vector<pid_t> kept;
  std::set<fs::path> applications;
  for (const RunningApp& running : toolkit_.runningApplications()) {
    if (!running.bundle) continue;
    const std::optional<RhinoTarget> rhino = engine->target(*running.bundle, false);
    if (!rhino || (rhino->major != 7 && rhino->major != 8)) continue;
    kept.push_back(running.pid);
    applications.insert(*running.bundle);
  }
  attempt->quitProcesses = kept;
  attempt->quitApplications.assign(applications.begin(), applications.end());
  status->setText(kept.empty() ? "Checking installation…" : "Save your work in Rhino to continue.");
  // The ordinary quit request: Rhino asks the user about unsaved work itself.
  for (const pid_t pid : kept) toolkit_.terminateApplication(pid);
  attempt->deadline = toolkit_.now() + kWaitLimit;
  waitTimer_ = toolkit_.scheduleRepeating(kWaitInterval, [this, attempt] { waitTick(attempt); });
}

bool InstallerApp::rhinoStillRunning() {
  for (const RunningApp& running : toolkit_.runningApplications()) {
    if (toolkit_.isProcessRunning(running.pid) && running.bundle && engine->target(*running.bundle, false)) {
      return true;
    }
  }
  return false;
}

void InstallerApp::waitTick(const std::shared_ptr<Attempt>& attempt) {
  if (cancelled || toolkit_.now() > attempt->deadline) {
    waitTimer_->invalidate();
    cancelButton->setHidden(true);
    setBusy(false);
    status->setText("Installation cancelled. No plug-in files were changed.");
    return;
  }
  const bool rhinoRunning = rhinoStillRunning();
  const bool quitOneAlive = std::any_of(attempt->quitProcesses.begin(), attempt->quitProcesses.end(),
                                        [this](pid_t pid) { return toolkit_.isProcessRunning(pid); });
  if (quitOneAlive || rhinoRunning) return;
  waitTimer_->invalidate();
  cancelButton->setHidden(true);  // from here on the attempt cannot be cancelled
  startInstallJob(attempt);
}

void InstallerApp::startInstallJob(const std::shared_ptr<Attempt>& attempt) {
  const InstallEngine* installer = engine.get();
  toolkit_.runInBackground([this, installer, attempt] {
    try {
      const fs::path backup = installer->install(attempt->selected, std::nullopt, [this](const std::string& text) {
        toolkit_.postToMain([this, text] { status->setText(text); });
      });
      toolkit_.postToMain([this, attempt, backup] { succeeded(attempt, backup); });
    } catch (const std::exception& error) {
      const std::string message = describe(error);
      toolkit_.postToMain([this, message] {
        setBusy(false);
        status->setText("Installation stopped.");
        showError(message);
      });
    }
  });
}

void InstallerApp::succeeded(const std::shared_ptr<Attempt>& attempt, const fs::path& backup) {
  setBusy(false);
  completedBackup = backup;
  heading->setText("Nimbra is installed.");
  subtitle->setText("Open Grasshopper and select the Nimbra tab.");
  std::string versions;
  for (const RhinoTarget& target : attempt->selected) {
    versions += (versions.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major));
  }
  status->setText("Installed for " + versions);
  installButton->setAttributedTitle({TextRun{"View backup", {13, Weight::semibold}, palette::white}});
  for (const auto& control : {automaticButton, customButton, browseButton, refreshButton, openRhino}) {
    control->setEnabled(false);
  }
  for (const auto& choice : choices) choice->setEnabled(false);
  showCompletion(versions);
  if (openRhino->on()) reopenRhino(attempt);
}

void InstallerApp::reopenRhino(const std::shared_ptr<Attempt>& attempt) {
  std::vector<fs::path> applications = attempt->quitApplications;
  if (applications.empty()) applications.push_back(attempt->selected.back().application);
  for (const fs::path& application : applications) {
    try {
      toolkit_.launchApplication(application);
    } catch (const std::exception&) {
      status->setText("Installed. Open Rhino from Applications.");
      if (completionNote) completionNote->setText("Installed. Open Rhino from Applications."), completionNote->setHidden(false);
    }
  }
}

}  // namespace nimbra::ui
