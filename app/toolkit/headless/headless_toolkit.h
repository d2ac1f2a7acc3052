#pragma once

// The test backend: nothing is drawn and nothing runs by itself. Work posted
// to the queues waits until the test drains it; time stands still until the
// test advances the virtual clock, which fires due timers in order. Alerts and
// open panels are recorded and answered from a script; the workspace is a
// list the test sets up.

#include <deque>
#include <map>
#include <mutex>
#include <set>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class HeadlessToolkit : public Toolkit, public Workspace {
 public:
  struct Alert {
    std::string message;
    std::string informative;
  };
  struct FakeApplication {
    std::filesystem::path bundle;
    // Whether a quit request ends it at once (else it keeps running).
    bool quitsWhenAsked = true;
    // Whether a quit request reaches it at all.
    bool reachable = true;
    std::vector<std::string> environment = {};
  };

  int run(ApplicationDelegate& delegate) override;

  // ---- Driving the application.
  // Runs main-queue work until none is left.
  void drainMain();
  // Runs the background jobs posted so far, on this thread, then drains main.
  void runBackgroundJobs();
  std::size_t pendingBackgroundJobs();
  // Moves the clock on, firing every timer and delayed call that falls due,
  // in time order, draining the main queue after each.
  void advance(double seconds);
  // The user clicks the window's close button / chooses "Quit Nimbra Setup".
  void userClosesWindow();
  void userQuits();

  bool terminated() const { return terminated_; }
  int beeps() const { return beeps_; }
  const std::vector<Alert>& alerts() const { return alerts_; }
  std::size_t activeTimers() const;

  // ---- Scripted answers.
  void answerNextOpenPanel(std::optional<std::filesystem::path> choice) { panelAnswers_.push_back(std::move(choice)); }
  const std::vector<OpenPanelRequest>& openPanelRequests() const { return panelRequests_; }

  // ---- The fake workspace.
  pid_t startApplication(FakeApplication application);
  void endApplication(pid_t pid) { running_.erase(pid); }
  const std::vector<pid_t>& quitRequests() const { return quitRequests_; }
  const std::vector<pid_t>& environmentReads() const { return environmentReads_; }
  const std::vector<std::filesystem::path>& launches() const { return launches_; }
  void failLaunches(bool fail) { failLaunches_ = fail; }
  const std::vector<std::filesystem::path>& openedFolders() const { return openedFolders_; }
  void setReduceMotion(bool on) { reduceMotion_ = on; }
  void setResourcesFolder(std::filesystem::path folder) { resources_ = std::move(folder); }
  void setHomeFolder(std::filesystem::path folder) { home_ = std::move(folder); }
  Window* shownWindow() const { return window_; }
  const std::optional<std::string>& applicationIcon() const { return icon_; }

  // ---- Toolkit.
  void postToMain(std::function<void()> work) override;
  void runInBackground(std::function<void()> work) override;
  std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) override;
  void runAfter(double seconds, std::function<void()> work) override;
  double now() override { return now_; }
  void showWindow(Window& window) override;
  void closeWindow(Window& window) override;
  void setApplicationIcon(const std::optional<std::string>& image) override { icon_ = image; }
  void beep() override { ++beeps_; }
  void showAlert(const std::string& message, const std::string& informative) override;
  std::optional<std::filesystem::path> runOpenPanel(const OpenPanelRequest& request) override;
  Workspace& workspace() override { return *this; }
  std::vector<RunningApplication> runningApplications() override;
  std::vector<std::string> environmentOf(pid_t pid) override;
  bool isProcessRunning(pid_t pid) override { return running_.count(pid) != 0; }
  bool terminateApplication(pid_t pid) override;
  void launchApplication(const std::filesystem::path& application, const std::vector<std::string>& environment) override;
  bool openFolder(const std::filesystem::path& folder) override {
    openedFolders_.push_back(folder);
    return true;
  }
  bool reduceMotion() override { return reduceMotion_; }
  std::filesystem::path resourcesFolder() override { return resources_; }
  std::filesystem::path homeFolder() override { return home_; }

 private:
  struct Scheduled {
    double due;
    double interval;  // 0: once
    std::function<void()> work;
    std::shared_ptr<bool> alive;
  };

  ApplicationDelegate* delegate_ = nullptr;
  Window* window_ = nullptr;
  bool terminated_ = false;
  int beeps_ = 0;
  double now_ = 0;
  std::mutex mutex_;
  std::deque<std::function<void()>> main_;
  std::deque<std::function<void()>> background_;
  std::multimap<double, Scheduled> scheduled_;
  std::vector<Alert> alerts_;
  std::deque<std::optional<std::filesystem::path>> panelAnswers_;
  std::vector<OpenPanelRequest> panelRequests_;
  std::map<pid_t, FakeApplication> running_;
  pid_t nextPid_ = 1000;
  std::vector<pid_t> quitRequests_;
  std::vector<pid_t> environmentReads_;
  std::vector<std::filesystem::path> launches_;
  bool failLaunches_ = false;
  std::vector<std::filesystem::path> openedFolders_;
  bool reduceMotion_ = false;
  std::filesystem::path resources_;
  std::filesystem::path home_;
  std::optional<std::string> icon_;
};

}  // namespace nimbra::ui
