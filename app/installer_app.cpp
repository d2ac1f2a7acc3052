// Start-up: the window, the welcome screen, the engine, and the rules that
// keep the window open while work is in progress.

#include "app/installer_app.h"

#include "app/completion_screen.h"
#include "app/visual_kit.h"
#include "app/welcome_screen.h"
#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

InstallerApp::InstallerApp(Toolkit& toolkit, EngineFactory makeEngine)
    : toolkit_(toolkit), makeEngine_(std::move(makeEngine)) {}

InstallerApp::~InstallerApp() {
  if (engine_) engine_->log().end("The window closed.");
}

InstallerApp::EngineFactory InstallerApp::defaultEngineFactory() {
  return [](const fs::path& payload, const fs::path& home) { return std::make_unique<InstallEngine>(payload, home); };
}

void InstallerApp::applicationDidFinishLaunching() {
  window_ = std::make_unique<Window>("Nimbra Setup", 900, 650);
  window_->setBackground(palette::paper);
  toolkit_.setApplicationIcon(nimbraImage(toolkit_));
  welcome_ = std::make_unique<WelcomeScreen>(toolkit_, *window_,
                                             WelcomeScreen::Actions{.locate = [this] { locate(); },
                                                                    .searchAgain = [this] { discover(); },
                                                                    .install = [this] { install(); },
                                                                    .cancel = [this] { cancel(); }});
  createEngine();
  toolkit_.showWindow(*window_);
  if (engine_) discover();
}

void InstallerApp::createEngine() {
  try {
    engine_ = makeEngine_(toolkit_.resourcesFolder() / "Payload", toolkit_.homeFolder());
    engine_->log().begin("Nimbra Setup " + engine_->release().version + ", in its window");
  } catch (const std::exception& error) {
    showError(describe(error));
    welcome_->setUnavailable();
  }
}

void InstallerApp::showError(const std::string& text) { toolkit_.showAlert("Nimbra Setup", text); }

bool InstallerApp::windowShouldClose() {
  if (!busy_) return true;
  toolkit_.beep();
  // It stays open and says when it can close; closing by itself later would
  // hide the outcome (an alert, the completion screen) from whoever pressed
  // close by reflex.
  welcome_->setStatus(!flow_ ? "Nimbra Setup can be closed once it has finished looking for Rhino."
                      : welcome_->waiting()
                          ? "Nimbra Setup cannot close while it waits for Rhino. Press Cancel to stop waiting."
                          : "Nimbra Setup cannot close while it installs. Close it once the installation has finished.");
  return false;
}

void InstallerApp::finish() { toolkit_.closeWindow(*window_); }

void InstallerApp::viewBackup() {
  if (!completedBackup_ || toolkit_.openFolder(*completedBackup_)) return;
  showError("The backup folder could not be opened. You can find it at \u201c" + pathText(*completedBackup_) +
            "\u201d.");
}

}  // namespace nimbra::ui
