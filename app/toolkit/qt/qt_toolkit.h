#pragma once

// The product backend: Qt 6 Widgets. This header names no Qt type, so the
// entry point can include it without depending on Qt itself.

#include <memory>

#include "app/toolkit/theme.h"
#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class QtToolkit : public Toolkit {
 public:
  // workspace: the machine's applications; a test passes its own.
  // theme: the colours its own parts are painted in.
  QtToolkit(int& argc, char** argv, const Theme& theme, Workspace& workspace = SystemWorkspace::shared());
  ~QtToolkit() override;

  int run(ApplicationDelegate& delegate) override;

  void postToMain(std::function<void()> work) override;
  void runInBackground(std::function<void()> work) override;
  std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) override;
  void runAfter(double seconds, std::function<void()> work) override;
  double now() override;
  void showWindow(Window& window) override;
  void closeWindow(Window& window) override;
  void setApplicationIcon(const std::optional<std::string>& image) override;
  void beep() override;
  void showAlert(const std::string& message, const std::string& informative) override;
  std::optional<std::filesystem::path> runOpenPanel(const OpenPanelRequest& request) override;
  Workspace& workspace() override;
  bool openFolder(const std::filesystem::path& folder) override;
  bool reduceMotion() override;
  std::filesystem::path resourcesFolder() override;
  std::filesystem::path homeFolder() override;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace nimbra::ui
