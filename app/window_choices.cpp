// The window's side of choosing: finding the Rhinos, locating one by hand,
// and the busy state that holds every choice while work is in progress.

#include "app/installer_app.h"
#include "app/welcome_screen.h"

namespace nimbra::ui {

void InstallerApp::setBusy(bool busy) {
  busy_ = busy;
  welcome_->setBusy(busy);
}

void InstallerApp::discover() {
  if (busy_ || !engine_) return;
  setBusy(true);
  welcome_->setStatus(sentence::kLookingForRhino);
  const InstallEngine* found = engine_.get();
  toolkit_.runInBackground([this, found] {
    std::vector<RhinoTarget> result = found->discover();
    toolkit_.postToMain([this, result = std::move(result)] {
      targets_ = InstallFlow::firstOfEachMajor(result);
      InstallFlow::logDiscovery(*engine_, targets_);
      setBusy(false);
      welcome_->showTargets(targets_);
      welcome_->setStatus(targets_.empty() ? "Rhino is required to continue."
                                           : "Ready to install · " + engine_->release().version);
    });
  });
}

void InstallerApp::locate() {
  if (!engine_) return;
  const std::optional<std::filesystem::path> picked = toolkit_.runOpenPanel(
      {.allowedExtensions = {"app"}, .canChooseDirectories = false, .canChooseFiles = true,
       .treatsPackagesAsFolders = false, .prompt = "Choose Rhino"});
  if (!picked) return;
  const std::optional<RhinoTarget> found = engine_->target(*picked);
  if (!found) return showError("Select the Rhino 7 or Rhino 8 application.");
  InstallFlow::locate(targets_, *found);
  welcome_->chooseByHand();
  welcome_->showTargets(targets_);
  welcome_->setStatus("Ready to install.");
}

}  // namespace nimbra::ui
