// Start-up: the window, the welcome screen, the engine, and the rules that
// keep the window open while work is in progress.

#include "app/installer_app.h"

#include "app/celebration_view.h"
#include "app/visual_kit.h"
#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

InstallerApp::InstallerApp(Toolkit& toolkit, EngineFactory makeEngine)
    : toolkit_(toolkit), makeEngine_(std::move(makeEngine)) {}

InstallerApp::~InstallerApp() {
  if (engine) engine->log().end("The window closed.");
}

InstallerApp::EngineFactory InstallerApp::defaultEngineFactory() {
  return [](const fs::path& payload, const fs::path& home) { return std::make_unique<InstallEngine>(payload, home); };
}

void InstallerApp::applicationDidFinishLaunching() {
  window = std::make_unique<Window>("Nimbra Setup", 900, 650);
  window->setBackground(palette::paper);
  toolkit_.setApplicationIcon(nimbraImage(toolkit_));
  content = window->content();
  buildWelcomeScreen();
  createEngine();
  toolkit_.showWindow(*window);
  if (engine) discover();
}

void InstallerApp::createEngine() {
  try {
    engine = makeEngine_(toolkit_.resourcesFolder() / "Payload", toolkit_.homeFolder());
    engine->log().begin("Nimbra Setup " + engine->release().version + ", in its window");
  } catch (const std::exception& error) {
    showError(error);
    installButton->setEnabled(false);
    updateInstallAppearance();
    // Without an engine there is nothing to find or locate.
    browseButton->setEnabled(false);
    refreshButton->setEnabled(false);
  }
}

void InstallerApp::buildWelcomeScreen() {
  auto artwork = make<Artwork>();
  artwork->setLayer({.clips = true});
  place(artwork, *content, {0, 0, 252, 650});
  logo(toolkit_, *artwork, {32, 517, 76, 76});
  place(label("NIMBRA", 22, Weight::semibold, palette::white), *artwork, {32, 468, 190, 32});
  place(label("Explore.\nSelect.\nEvolve.", 31, Weight::light, palette::white), *artwork, {31, 205, 190, 132});
  place(label("FOR RHINO 7 & 8", 10, Weight::medium, palette::white.withAlpha(0.7)), *artwork, {33, 61, 190, 20});
  place(label("macOS · Intel & Apple Silicon", 10, Weight::regular, palette::white.withAlpha(0.6)), *artwork,
        {33, 38, 200, 20});

  heading = label("Install Nimbra", 31, Weight::semibold, palette::ink);
  place(heading, *content, {292, 547, 550, 48});
  subtitle = label("A new perspective for Rhino 7 and 8.", 13, Weight::regular, palette::muted);
  place(subtitle, *content, {294, 511, 550, 34});
  automaticButton = option("Install automatically", "Find Rhino and take care of the rest.", {294, 411, 270, 83},
                           &InstallerApp::selectAutomatic);
  customButton = option("Choose installation", "Choose versions and locations.", {580, 411, 270, 83},
                        &InstallerApp::selectCustom);
  place(label("RHINO ON THIS MAC", 10, Weight::semibold, palette::muted), *content, {294, 385, 400, 18});
  choiceArea = make<View>();
  place(choiceArea, *content, {294, 241, 556, 145});

  browseButton = make<Button>(Button::Style::push, "Locate Rhino…");
  browseButton->setAction([this] { browse(); });
  styleButton(*browseButton, "Locate Rhino…", false);
  place(browseButton, *content, {290, 209, 128, 29});
  refreshButton = make<Button>(Button::Style::push, "Search again");
  refreshButton->setAction([this] { discover(); });
  styleButton(*refreshButton, "Search again", false);
  place(refreshButton, *content, {423, 209, 115, 29});

  openRhino = make<Button>(Button::Style::checkbox, "Open Rhino after installation");
  openRhino->setFont({12, Weight::regular});
  openRhino->setOn(true);
  place(openRhino, *content, {294, 174, 410, 25});
  details = label("Rhino will ask you to save any open work before it closes.\n"
                  "Existing Nimbra files will be backed up automatically.",
                  11, Weight::regular, palette::muted);
  place(details, *content, {294, 123, 555, 43});
  status = label(sentence::kLookingForRhino, 11, Weight::regular, palette::muted);
  place(status, *content, {294, 65, 330, 44});
  progress = make<ProgressBar>();
  progress->setAccessibilityLabel("Progress");
  progress->setHidden(true);
  place(progress, *content, {294, 115, 556, 3});

  installButton = make<Button>(Button::Style::push, "Install Nimbra  →");
  styleButton(*installButton, "Install Nimbra  →", true);
  installButton->setKeyEquivalent("\r");
  installButton->setAction([this] { install(); });
  place(installButton, *content, {662, 52, 188, 46});
  cancelButton = make<Button>(Button::Style::inline_, "Cancel");
  cancelButton->setHidden(true);
  cancelButton->setKeyEquivalent("\x1b");
  cancelButton->setAction([this] { cancel(); });
  place(cancelButton, *content, {570, 60, 75, 30});
}

std::shared_ptr<Button> InstallerApp::option(const std::string& title, const std::string& sub, const Rect& frame,
                                             void (InstallerApp::*action)()) {
  auto card = make<Button>(Button::Style::card, "");
  card->setInsetTitle(true);
  card->setAction([this, action] { (this->*action)(); });
  card->setBordered(false);
  card->setLayer({.borderWidth = 1, .cornerRadius = 14});
  card->setAttributedTitle({TextRun{title + "\n", {13, Weight::semibold}, palette::ink},
                            TextRun{sub, {10, Weight::regular}, palette::muted}});
  card->setAccessibilityLabel(title);
  place(card, *content, frame);
  return card;
}

void InstallerApp::showError(const std::exception& error) { showError(describe(error)); }

void InstallerApp::showError(const std::string& text) { toolkit_.showAlert("Nimbra Setup", text); }

bool InstallerApp::windowShouldClose() {
  if (!busy) return true;
  toolkit_.beep();
  const bool waiting = !cancelButton->hidden();
  status->setText(!flow_    ? "The installer closes when it has finished looking for Rhino."
                  : waiting ? "The installer closes when the installation has finished. Press Cancel to stop waiting."
                            : "The installer closes when the installation has finished.");
  return false;
}

void InstallerApp::finish() {
  // Done stands where Install stood: a second press meant for Install, or a
  // hurried Return, must not close the window before it is read.
  if (toolkit_.now() - completionShownAt_ < kDoneGrace) return;
  toolkit_.closeWindow(*window);
}

void InstallerApp::viewBackup() {
  if (!completedBackup || toolkit_.openFolder(*completedBackup)) return;
  showError("The backup folder could not be opened. You can find it at \u201c" + pathText(*completedBackup) +
            "\u201d.");
}

}  // namespace nimbra::ui
