#pragma once

// The application and window delegate: holds the window, its screens and the
// engine, and decides; the screens only show, and the toolkit only draws.
// Main thread only, except the background jobs it starts, which touch no
// window state and report back through the main queue.

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

class CompletionScreen;
class WelcomeScreen;

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
  bool applicationShouldTerminate() override { return !busy_; }
  bool applicationShouldTerminateAfterLastWindowClosed() override { return true; }

 private:
  // ---- Actions.
  void discover();
  void locate();
  void install();
  void cancel();
  void viewBackup();
  void finish();

  void createEngine();
  void setBusy(bool busy);
  // The one error alert: "Nimbra Setup" and the error's text for people.
  void showError(const std::string& text);
  void succeeded(const InstallFlow::Outcome& outcome);

  // ---- What the install flow reports.
  void statusChanged(const std::string& text) override;
  void stepBegan(const ProgressStep& step) override;
  void waitingChanged(bool waiting) override;
  void finished(const InstallFlow::Outcome& outcome) override;

  Toolkit& toolkit_;
  EngineFactory makeEngine_;
  std::unique_ptr<Window> window_;
  std::unique_ptr<InstallEngine> engine_;
  std::vector<RhinoTarget> targets_;  // the first of each major found, or located
  bool busy_ = false;
  struct Steps {
    int done = 0, total = 0;
  } steps_;  // of the attempt in progress, as the engine counts them
  std::optional<std::filesystem::path> completedBackup_;
  std::unique_ptr<WelcomeScreen> welcome_;
  std::unique_ptr<CompletionScreen> completion_;
  std::unique_ptr<InstallFlow> flow_;
};

}  // namespace nimbra::ui
