// The list of Rhino installations, the two modes, locating Rhino by hand,
// and the enabled state of every control that depends on work in progress.

#include <algorithm>

#include "app/installer_app.h"
#include "app/visual_kit.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace {

constexpr Color kSelectedCard{0.07, 0.17, 0.30, 1.0};

void lookSelected(Button& card, bool selected) {
  LayerLook look = card.layer();
  look.border = selected ? palette::forest : palette::outline;
  look.background = selected ? kSelectedCard : palette::surface;
  card.setLayer(look);
  card.setOn(selected);  // read out as the selected option
}

}  // namespace

void InstallerApp::setBusy(bool value) {
  busy = value;
  for (const auto& control : {automaticButton, customButton, browseButton, refreshButton, openRhino}) {
    control->setEnabled(!busy);
  }
  if (!engine) browseButton->setEnabled(false), refreshButton->setEnabled(false);
  for (const auto& choice : choices) choice->setEnabled(!busy && !automatic);
  const bool anyOn = std::any_of(choices.begin(), choices.end(), [](const auto& choice) { return choice->on(); });
  installButton->setEnabled(!busy && !targets.empty() && (automatic || anyOn));
  updateInstallAppearance();
  progress->setHidden(!busy);
  progress->setAnimating(busy);
}

void InstallerApp::updateInstallAppearance() {
  LayerLook look = installButton->layer();
  look.background = installButton->enabled() ? palette::forest : palette::surface;
  installButton->setLayer(look);
}

void InstallerApp::discover() {
  if (busy || !engine) return;
  setBusy(true);
  status->setText(sentence::kLookingForRhino);
  const InstallEngine* found = engine.get();
  toolkit_.runInBackground([this, found] {
    std::vector<RhinoTarget> result = found->discover();
    toolkit_.postToMain([this, result = std::move(result)] {
      targets = InstallFlow::firstOfEachMajor(result);
      InstallFlow::logDiscovery(*engine, targets);
      setBusy(false);
      renderTargets();
      status->setText(targets.empty() ? "Rhino is required to continue."
                                      : "Ready to install · " + engine->release().version);
    });
  });
}

void InstallerApp::renderTargets() {
  lookSelected(*automaticButton, automatic);
  lookSelected(*customButton, !automatic);
  choiceArea->removeAllSubviews();
  choices.clear();
  if (targets.empty()) {
    place(label(sentence::kNoRhino, 15, Weight::medium, palette::ink), *choiceArea, {0, 90, 545, 30});
    place(label("Install Rhino, or use Locate Rhino to select its application.", 12, Weight::regular, palette::muted),
          *choiceArea, {0, 47, 545, 40});
  }
  for (std::size_t i = 0; i < targets.size(); ++i) renderRow(i, targets[i]);
  installButton->setEnabled(!busy && !targets.empty());
  updateInstallAppearance();
}

void InstallerApp::renderRow(std::size_t index, const RhinoTarget& target) {
  const double rowY = 96 - 70 * static_cast<double>(index);
  const std::string name = "Rhino " + std::to_string(target.major);
  auto card = make<View>();
  card->setLayer({.background = palette::surface, .cornerRadius = 12});
  place(card, *choiceArea, {0, rowY - 14, 556, 64});

  auto checkbox = make<Button>(Button::Style::checkbox, "");
  checkbox->setFont({14, Weight::medium});
  checkbox->setOn(true);
  checkbox->setEnabled(!automatic && !busy);
  checkbox->setAction([this] { selectionChanged(); });
  place(checkbox, *choiceArea, {15, rowY + 13, 24, 24});
  checkbox->setAccessibilityLabel(name);
  choices.push_back(checkbox);

  place(label(name, 14, Weight::medium, palette::ink), *choiceArea, {41, rowY + 13, 300, 24});
  place(label("Detected", 10, Weight::regular, palette::forest), *choiceArea, {474, rowY + 13, 70, 20});
  auto where = label(pathText(target.application), 10, Weight::regular, palette::muted);
  where->setLineBreak(LineBreak::truncateMiddle, 1);
  where->setToolTip("Install to: " + pathText(target.destination()));
  place(where, *choiceArea, {41, rowY - 7, 500, 22});
}

void InstallerApp::selectAutomatic() {
  automatic = true;
  renderTargets();
}

void InstallerApp::selectCustom() {
  automatic = false;
  renderTargets();
}

void InstallerApp::selectionChanged() {
  const bool anyOn = std::any_of(choices.begin(), choices.end(), [](const auto& choice) { return choice->on(); });
  installButton->setEnabled(!busy && anyOn);
  updateInstallAppearance();
}

void InstallerApp::browse() {
  if (!engine) return;
  const std::optional<std::filesystem::path> picked = toolkit_.runOpenPanel(
      {.allowedExtensions = {"app"}, .canChooseDirectories = false, .canChooseFiles = true,
       .treatsPackagesAsFolders = false, .prompt = "Choose Rhino"});
  if (!picked) return;
  const std::optional<RhinoTarget> found = engine->target(*picked);
  if (!found) {
    showError(InstallError("Select the Rhino 7 or Rhino 8 application."));
    return;
  }
  InstallFlow::locate(targets, *found);
  automatic = false;
  renderTargets();
  status->setText("Ready to install.");
}

}  // namespace nimbra::ui
