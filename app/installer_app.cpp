// The window's delegate: start-up, the rules that keep the window open while
// work is in progress, choosing the Rhinos, and what the window shows of an
// attempt. The install flow decides; this only asks it and shows.

#include "app/installer_app.h"

#include <variant>

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

// ---- Choosing: finding the Rhinos, and locating one by hand.

void InstallerApp::setBusy(bool busy) {
  busy_ = busy;
  welcome_->setBusy(busy);
}

void InstallerApp::discover() {
  if (busy_ || !engine_) return;
  setBusy(true);
  welcome_->setStatus(sentence::kLookingForRhino);
  const InstallEngine* engine = engine_.get();
  toolkit_.runInBackground([this, engine] {
    std::vector<RhinoTarget> listed = InstallFlow::discover(*engine);
    toolkit_.postToMain([this, listed = std::move(listed)] {
      targets_ = listed;
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
  auto located = InstallFlow::locate(*engine_, *picked, Operation::install, InstallFlow::Audience::window, targets_);
  if (const auto* refusal = std::get_if<InstallFlow::Outcome>(&located)) return showError(refusal->message);
  welcome_->chooseByHand();
  welcome_->showTargets(targets_);
  welcome_->setStatus("Ready to install.");
}

// ---- An attempt: what Install starts, and what the window shows of each step.

void InstallerApp::install() {
  if (completedBackup_) return viewBackup();
  if (!engine_ || busy_) return;
  std::vector<std::int64_t> majors;
  for (const RhinoTarget& target : welcome_->selected()) majors.push_back(target.major);
  if (majors.empty()) return;  // none named would choose every one
  auto chosen = InstallFlow::choose(targets_, majors, Operation::install);
  if (const auto* ended = std::get_if<InstallFlow::Outcome>(&chosen)) return showError(ended->message);
  const InstallFlow::Choice& choice = std::get<InstallFlow::Choice>(chosen);
  setBusy(true);
  // The engine says how many steps there are once its first one begins.
  steps_ = {0, 1};
  welcome_->setSteps(steps_.done, steps_.total);
  const InstallFlow::Reopen reopen =
      welcome_->opensRhino() ? InstallFlow::Reopen::quitOnesElseLastSelected : InstallFlow::Reopen::none;
  InstallFlow::Observer& observer = *this;
  flow_ = std::make_unique<InstallFlow>(*engine_, toolkit_, toolkit_.workspace(),
                                        InstallFlow::Options{.reopen = reopen}, observer);
  flow_->start(choice);
}

void InstallerApp::cancel() {
  if (flow_) flow_->cancel();
}

void InstallerApp::statusChanged(const std::string& text) { welcome_->setStatus(text); }

void InstallerApp::stepBegan(const ProgressStep& step) {
  welcome_->setStatus(step.text);
  // Those before it are done; the last is done once the attempt has finished.
  steps_ = {static_cast<int>(step.step) - 1, static_cast<int>(step.steps)};
  welcome_->setSteps(steps_.done, steps_.total);
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
