#pragma once

// The application and window delegate: holds the window, every control and
// the engine, and decides; the toolkit only shows. Main thread only, except
// the background jobs it starts, which touch no window state and report back
// through the main queue.

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/install_flow.h"
#include "app/toolkit/toolkit.h"
#include "engine/install_engine.h"

namespace nimbra::ui {

class CelebrationView;

class InstallerApp : public ApplicationDelegate, private InstallFlow::Observer {
 public:
  // Makes the engine from the payload folder and the home folder; throws
  // whatever engine creation throws.
  using EngineFactory =
      std::function<std::unique_ptr<InstallEngine>(const std::filesystem::path& payload, const std::filesystem::path& home)>;

  explicit InstallerApp(Toolkit& toolkit, EngineFactory makeEngine = defaultEngineFactory());
  ~InstallerApp() override;
  static EngineFactory defaultEngineFactory();

  // ---- Application and window delegate.
  void applicationDidFinishLaunching() override;
  bool windowShouldClose() override;
  bool applicationShouldTerminate() override { return !busy; }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return true; }

  // ---- Actions.
  void selectAutomatic();
  void selectCustom();
  void selectionChanged();
  void discover();
  void browse();
  void install();
  void finish();
  void viewBackup();
  void cancel();

  // ---- State, as the screens read and set it.
  std::unique_ptr<Window> window;
  std::unique_ptr<InstallEngine> engine;
  std::vector<RhinoTarget> targets;
  std::vector<std::shared_ptr<Button>> choices;
  bool automatic = true;
  bool busy = false;
  bool cancelled = false;
  std::shared_ptr<View> content;
  std::shared_ptr<Label> status;
  std::shared_ptr<Label> details;
  std::shared_ptr<Label> heading;
  std::shared_ptr<Label> subtitle;
  std::shared_ptr<Button> installButton;
  std::shared_ptr<Button> automaticButton;
  std::shared_ptr<Button> customButton;
  std::shared_ptr<Button> browseButton;
  std::shared_ptr<Button> refreshButton;
  std::shared_ptr<Button> cancelButton;
  std::shared_ptr<Button> openRhino;
  std::shared_ptr<ProgressBar> progress;
  std::shared_ptr<View> choiceArea;
  std::optional<std::filesystem::path> completedBackup;
  // The completion screen's controls, once shown.
  std::shared_ptr<Button> doneButton;
  std::shared_ptr<Button> viewBackupButton;
  std::shared_ptr<Label> completionMessage;
  std::shared_ptr<Label> completionNote;  // shown when Rhino could not be opened again
  std::weak_ptr<CelebrationView> celebration;

  // The one error alert: "Nimbra Setup" and the error's text for people.
  void showError(const std::exception& error);
  void showError(const std::string& text);
  void setBusy(bool busy);
  void renderTargets();
  void updateInstallAppearance();
  void showCompletion(const std::string& versions);

 private:
  void buildWelcomeScreen();
  void createEngine();
  std::shared_ptr<Button> option(const std::string& title, const std::string& sub, const Rect& frame,
                                 void (InstallerApp::*action)());
  void renderRow(std::size_t index, const RhinoTarget& target);
  std::vector<RhinoTarget> selectedTargets() const;
  void succeeded(const InstallFlow::Outcome& outcome);

  // ---- What the install flow reports.
  void statusChanged(const std::string& text) override;
  void waitingChanged(bool waiting) override;
  void finished(const InstallFlow::Outcome& outcome) override;

  // Presses of Done this soon after the completion screen appears are ignored.
  static constexpr double kDoneGrace = 0.6;

  Toolkit& toolkit_;
  EngineFactory makeEngine_;
  double completionShownAt_ = 0;
  std::unique_ptr<InstallFlow> flow_;
};

}  // namespace nimbra::ui
