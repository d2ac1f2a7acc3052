#pragma once

// The services the installer window uses besides its views: the one window,
// the main and background queues, timers and a clock, alerts, the open panel,
// the alert sound and the workspace (running applications, quit requests,
// launching, opening folders, the reduce-motion setting). Two backends: Qt for
// the product, headless for tests (virtual clock, queues drained by hand).

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/toolkit/view.h"
#include "engine/platform/running_applications.h"

namespace nimbra::ui {

// What the application asks of its delegate. Main thread only.
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual void applicationDidFinishLaunching() = 0;
  virtual bool windowShouldClose() = 0;
  virtual bool applicationShouldTerminate() = 0;
  virtual bool applicationShouldTerminateAfterLastWindowClosed() = 0;
};

// The one window: a fixed content size, never resizable.
class Window {
 public:
  Window(std::string title, double width, double height);
  const std::string& title() const { return title_; }
  const std::shared_ptr<View>& content() const { return content_; }
  const Color& background() const { return background_; }
  void setBackground(const Color& color) { background_ = color; }
  bool resizable() const { return false; }
  // Where the keyboard and a screen reader are to be: the focus moves there
  // once, at the next redraw. Null gives the focus back to the control it
  // was on before the last move there.
  View* firstResponder() const { return firstResponder_; }
  void makeFirstResponder(View* view);
  // Told to a screen reader without moving the focus: politely, after what
  // it is reading, or at once when something needs the person.
  enum class Urgency { polite, assertive };
  struct Announcement {
    std::string text;
    Urgency urgency = Urgency::polite;
    bool operator==(const Announcement&) const = default;
  };
  void announce(std::string text, Urgency urgency = Urgency::polite);
  // Every announcement so far, the newest last.
  const std::vector<Announcement>& announcements() const { return announcements_; }
  bool visible() const { return visible_; }
  void setVisible(bool visible) { visible_ = visible; }

  // A key with a button of its own (Return "\r", Escape "\x1b"): the first
  // responder when it answers to the key, else the first visible, enabled
  // button that does. Returns whether a button was pressed.
  bool pressKey(const std::string& key);
  bool pressReturn() { return pressKey("\r"); }

 private:
  std::string title_;
  std::shared_ptr<View> content_;
  Color background_;
  View* firstResponder_ = nullptr;
  std::vector<Announcement> announcements_;
  bool visible_ = false;
};

class Timer {
 public:
  virtual ~Timer() = default;
  virtual void invalidate() = 0;
};

// A timer of a loop that checks, before it fires, a flag the timer clears
// when it is invalidated or goes away.
class FlagTimer : public Timer {
 public:
  explicit FlagTimer(std::shared_ptr<bool> alive) : alive_(std::move(alive)) {}
  ~FlagTimer() override { invalidate(); }
  void invalidate() override { *alive_ = false; }

 private:
  std::shared_ptr<bool> alive_;
};

struct OpenPanelRequest {
  std::vector<std::string> allowedExtensions;
  bool canChooseDirectories = false;
  bool canChooseFiles = true;
  bool treatsPackagesAsFolders = false;
  std::string prompt;
};

// The applications of the machine: which run, quitting and launching them.
class Workspace {
 public:
  virtual ~Workspace() = default;
  // Without their environments: see environmentOf.
  virtual std::vector<RunningApplication> runningApplications() = 0;
  virtual std::vector<std::string> environmentOf(pid_t pid) = 0;
  virtual bool isProcessRunning(pid_t pid) = 0;
  // The ordinary quit request; never forced. False when it did not reach
  // the application.
  virtual bool terminateApplication(pid_t pid) = 0;
  // With environment when one is given (to open it in the session whose
  // environment that is), else with the installer's. Throws when the
  // application cannot be launched.
  virtual void launchApplication(const std::filesystem::path& application,
                                 const std::vector<std::string>& environment) = 0;
};

// The application folder's Contents/Resources: beside the running
// executable's Contents/MacOS.
std::filesystem::path bundleResources();

// The platform's workspace: the user's running applications, the ordinary
// quit request and a launch detached from us (see running_applications.h).
class SystemWorkspace : public Workspace {
 public:
  static SystemWorkspace& shared();
  std::vector<RunningApplication> runningApplications() override { return nimbra::runningApplications(); }
  std::vector<std::string> environmentOf(pid_t pid) override { return nimbra::environmentOf(pid); }
  bool isProcessRunning(pid_t pid) override;
  bool terminateApplication(pid_t pid) override;
  void launchApplication(const std::filesystem::path& application, const std::vector<std::string>& environment) override;
};

// Queues, timers and a clock: what a flow needs to wait, and to work in the
// background. postToMain may be called from any thread; the rest on the main
// thread.
class Scheduler {
 public:
  virtual ~Scheduler() = default;
  virtual void postToMain(std::function<void()> work) = 0;
  virtual void runInBackground(std::function<void()> work) = 0;
  virtual std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) = 0;
  virtual void runAfter(double seconds, std::function<void()> work) = 0;
  // Seconds on a monotonic clock.
  virtual double now() = 0;
};

class Toolkit : public Scheduler {
 public:
  // Starts the application: the menu with "Quit Nimbra Setup", then
  // delegate.applicationDidFinishLaunching(), then the event loop (Qt) or
  // back to the test (headless).
  virtual int run(ApplicationDelegate& delegate) = 0;

  // ---- The window and the application.
  virtual void showWindow(Window& window) = 0;
  // Closes without asking the delegate; the last window closing may end the
  // application.
  virtual void closeWindow(Window& window) = 0;
  virtual void setApplicationIcon(const std::optional<std::string>& image) = 0;
  virtual void beep() = 0;
  // A modal alert with one "OK" button; returns when it is dismissed.
  virtual void showAlert(const std::string& message, const std::string& informative) = 0;
  virtual std::optional<std::filesystem::path> runOpenPanel(const OpenPanelRequest& request) = 0;

  // ---- The machine.
  virtual Workspace& workspace() = 0;
  // Shows the folder with the desktop's handler; false when there is none or
  // it refused.
  virtual bool openFolder(const std::filesystem::path& folder) = 0;
  virtual bool reduceMotion() = 0;

  // The application folder's Contents/Resources, and the user's home.
  virtual std::filesystem::path resourcesFolder() = 0;
  virtual std::filesystem::path homeFolder() = 0;
};

}  // namespace nimbra::ui
