#pragma once

// The rules of an install (or uninstall) attempt, written once for the window
// and the command line: which targets, the guard against updating one Rhino
// while an older copy is shared by both, asking a running Rhino to quit and
// waiting for it, the engine's transaction in the background, and opening
// Rhino again afterwards. Both only present what it reports. Main thread only,
// apart from the background job it starts, which reports through the main
// queue.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/toolkit/toolkit.h"
#include "engine/install_engine.h"

namespace nimbra::ui {

// The sentences the window and the command line both say, written once.
namespace sentence {
inline constexpr const char* kNoRhino = "Rhino 7 or 8 was not found.";
inline constexpr const char* kLookingForRhino = "Looking for Rhino…";
inline constexpr const char* kOpenRhinoYourself = "Installed. Open Rhino from Applications.";
inline constexpr const char* kNotInItsSession = "it cannot be opened in its user\u2019s desktop session from here";
}  // namespace sentence

class InstallFlow {
 public:
  enum class Reopen { none, quitOnes, quitOnesElseLastSelected };
  struct Options {
    Operation operation = Operation::install;
    bool askRhinoToQuit = true;  // false: a running Rhino ends the attempt at once
    double waitSeconds = 120;
    Reopen reopen = Reopen::quitOnesElseLastSelected;
    std::optional<std::filesystem::path> restoreFrom = std::nullopt;  // the backup folder, for a restore
    // Run by an administrator for the user: a Rhino is opened again only in
    // its user's own session (its environment), never in the administrator's.
    bool onlyInItsSession = false;
  };
  // anotherInstallation: the install lock is held elsewhere; try later.
  enum class Result { done, cancelled, rhinoStillRunning, anotherInstallation, failed };
  struct Outcome {
    Result result = Result::failed;
    std::string message;                  // for people; empty when done
    std::optional<std::filesystem::path> backup;
    std::vector<RhinoTarget> targets;     // those the attempt was for
  };

  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void statusChanged(const std::string& text) = 0;
    // Whether the attempt is waiting for Rhino and may still be cancelled.
    virtual void waitingChanged(bool waiting) = 0;
    virtual void finished(const Outcome& outcome) = 0;
    // After a finished install: an application that could not be opened again.
    virtual void couldNotReopen(const std::filesystem::path& application, const std::string& message) = 0;
  };

  // The first target of each major, in the engine's order.
  static std::vector<RhinoTarget> firstOfEachMajor(const std::vector<RhinoTarget>& discovered);
  // found, in place of any listed target of its major, the list kept in
  // major order.
  static void locate(std::vector<RhinoTarget>& targets, const RhinoTarget& found);
  // Who reads a sentence that names a way to choose: the window's controls or
  // the command line's options.
  enum class Audience { window, commandLine };
  // The refusal when fewer Rhinos are chosen than listed while an older copy
  // lies in a Grasshopper folder both share; nothing otherwise. Throws the
  // legacy scan's error.
  static std::optional<std::string> sharedCopyRefusal(const InstallEngine& engine, std::size_t chosen,
                                                      std::size_t listed, Audience audience);
  // "Rhino 7", "Rhino 7 and Rhino 8".
  static std::string versionsText(const std::vector<RhinoTarget>& targets);
  // Writes what discovery found to the install log.
  static void logDiscovery(const InstallEngine& engine, const std::vector<RhinoTarget>& targets);

  InstallFlow(const InstallEngine& engine, Scheduler& scheduler, Workspace& workspace, Options options,
              Observer& observer);
  ~InstallFlow();

  // Refuses at once what needs no Rhino to quit (another installation
  // running, a newer version installed); else asks every running Rhino 7 or 8
  // to quit, waits (0.25 s ticks, up to the wait), then runs the transaction
  // for selected in the background; the observer hears the rest. An attempt
  // that ends without installing opens again every Rhino it asked to quit
  // that did quit. Once only.
  void start(std::vector<RhinoTarget> selected);
  // While waiting: ends the attempt at the next tick, nothing changed.
  void cancel() { cancelled_ = true; }

 private:
  void tick();
  bool rhinoStillRunning();
  void end(Result result, const std::string& message);
  void startJob();
  void succeeded(const std::filesystem::path& backup);
  std::optional<std::string> refusalBeforeQuitting() const;
  // Opens again the Rhinos this attempt asked to quit and that have quit.
  void reopenQuit();
  // Opens application again as quit ran it (in its session); failures are
  // logged and thrown.
  void reopen(const RunningApplication& quit);
  // One quit process of each application, in the applications' order.
  std::vector<RunningApplication> quitApplications() const;

  const InstallEngine& engine_;
  Scheduler& scheduler_;
  Workspace& workspace_;
  Options options_;
  Observer& observer_;
  std::vector<RhinoTarget> selected_;
  std::vector<RunningApplication> quitProcesses_;
  double deadline_ = 0;
  bool cancelled_ = false;
  std::unique_ptr<Timer> timer_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nimbra::ui
