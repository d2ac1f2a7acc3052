#pragma once

// The rules of an install, uninstall or restore attempt, written once for the
// window and the command line: which targets, every refusal (a copy shared by
// both Rhinos, nothing to do, another installation, a newer version), asking a
// running Rhino to quit and waiting for it, the engine's transaction in the
// background, opening Rhino again afterwards, and the words of every outcome.
// Both only present what it reports. Main thread only, apart from the
// background job it starts, which reports through the main queue.

#include <sys/types.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "app/toolkit/toolkit.h"
#include "engine/install_engine.h"
#include "engine/installed_copy.h"

namespace nimbra::ui {

// The sentences the window and the command line both say, written once.
namespace sentence {
inline constexpr const char* kNoRhino = "Rhino 7 or 8 was not found.";
inline constexpr const char* kLookingForRhino = "Looking for Rhino…";
inline constexpr const char* kOpenRhinoYourself = "Installed. Open Rhino from Applications.";
inline constexpr const char* kNotInItsSession = "it cannot be opened in its user\u2019s desktop session from here";
inline constexpr const char* kQuitNotDelivered =
    "it cannot be reached from this desktop session, or it refused. Quit it yourself and try again.";
}  // namespace sentence

class InstallFlow {
 public:
  enum class Reopen { none, quitOnes, quitOnesElseLastSelected };
  // Who reads a sentence that names a way to choose: the window's controls or
  // the command line's options.
  enum class Audience { window, commandLine };
  struct Options {
    Operation operation = Operation::install;
    Audience audience = Audience::window;
    // false: an install changes nothing where this release is already whole;
    // run again and again, as deployment tools do, it asks no Rhino to quit
    // and makes no backup. (An uninstall never touches a Rhino without Nimbra.)
    bool reinstall = true;
    bool askRhinoToQuit = true;  // false: a running Rhino ends the attempt at once
    double waitSeconds = 120;
    Reopen reopen = Reopen::quitOnesElseLastSelected;
    // The backup folder for a restore; none: the newest finished one.
    std::optional<std::filesystem::path> restoreFrom = std::nullopt;
    // Run by an administrator for the user: a Rhino is opened again only in
    // its user's own session (its environment), never in the administrator's.
    bool onlyInItsSession = false;
  };
  // How an attempt ended. unchanged: nothing to do. refused: not as chosen
  // (nothing changed). anotherInstallation: the install lock is held
  // elsewhere; try later. noRhino: no Rhino 7 or 8, or not the one named.
  enum class Result { done, unchanged, refused, noRhino, cancelled, rhinoStillRunning, anotherInstallation, failed };
  struct Outcome {
    Result result = Result::failed;
    Operation operation = Operation::install;  // the one asked for
    std::string message;  // for people
    std::optional<std::filesystem::path> backup = std::nullopt;
    std::vector<RhinoTarget> targets = {};  // those the attempt was for
    // Applications quit for a finished attempt that could not be opened again.
    std::vector<std::filesystem::path> leftClosed = {};
    // Running Rhinos the quit request did not reach.
    std::vector<std::filesystem::path> notAskedToQuit = {};
  };

  class Observer {
   public:
    virtual ~Observer() = default;
    virtual void statusChanged(const std::string& text) = 0;
    // A step of the engine's operation began: its text, and which step of
    // how many, as the engine counts them.
    virtual void stepBegan(const ProgressStep& step) = 0;
    // Whether the attempt is waiting for Rhino and may still be cancelled.
    virtual void waitingChanged(bool waiting) = 0;
    virtual void finished(const Outcome& outcome) = 0;
    // After finished: the attempt has nothing left to do. At once, or once
    // every Rhino it asked to quit that was still quitting has quit (and is
    // open again) or kReopenGrace has passed.
    virtual void settled() {}
  };

  // How long an attempt that ended without installing keeps watching a Rhino
  // it asked to quit that was still quitting (its user answering "save
  // changes?" as the wait ran out), to open it again once it has quit.
  static constexpr double kReopenGrace = 30;

  // What an attempt is for, made by choose alone: the targets listed (the
  // first of each major found, a located application in place of its
  // major's) and those chosen of them. The rules that compare the two (a copy
  // shared by both Rhinos) trust no count a caller gives.
  class Choice {
   public:
    const std::vector<RhinoTarget>& listed() const { return listed_; }
    const std::vector<RhinoTarget>& chosen() const { return chosen_; }

   private:
    friend class InstallFlow;
    Choice(std::vector<RhinoTarget> listed, std::vector<RhinoTarget> chosen)
        : listed_(std::move(listed)), chosen_(std::move(chosen)) {}
    std::vector<RhinoTarget> listed_, chosen_;
  };
  // The first target of each major that discovery finds, in the engine's
  // order; what was found goes to the install log. Blocks: discovery may
  // query Spotlight and Rhino's yak.
  static std::vector<RhinoTarget> discover(const InstallEngine& engine);
  // The application named, in place of any listed target of its major (the
  // list kept in major order); else the refusal of operation, in the
  // audience's words.
  static std::variant<RhinoTarget, Outcome> locate(const InstallEngine& engine, const std::filesystem::path& application,
                                                   Operation operation, Audience audience,
                                                   std::vector<RhinoTarget>& listed);
  // Of listed, the target of each major named, in major order; none named,
  // every one. Ends operation noRhino where nothing is listed or a major is not.
  static std::variant<Choice, Outcome> choose(std::vector<RhinoTarget> listed, const std::vector<std::int64_t>& majors,
                                              Operation operation);
  // "Rhino 7", "Rhino 7 and Rhino 8".
  static std::string versionsText(const std::vector<RhinoTarget>& targets);

  // What an install would do for the chosen targets, changing nothing: each
  // one's copy, and the verdict: upToDate where every copy is this release
  // whole, newerInstalled where a newer version stands (an install would
  // refuse), else wouldChange; with the sentence that says so.
  struct Check {
    enum class Verdict { upToDate, nothingToDo, wouldChange, newerInstalled };
    std::vector<InstalledCopy> copies;
    Verdict verdict = Verdict::wouldChange;
    std::string message;
  };
  static Check check(const InstallEngine& engine, const Choice& choice);
  // What an uninstall would do: nothingToDo where no chosen Rhino has
  // Nimbra, else wouldChange.
  static Check checkUninstall(const InstallEngine& engine, const Choice& choice);
  // Which backup folder a restore puts back (named, else the newest one that
  // holds an earlier copy or was made by a restore), or why a restore would
  // change nothing. Throws when named is no backup folder.
  static std::variant<std::filesystem::path, std::string> restoreDecision(
      const InstallEngine& engine, const std::optional<std::filesystem::path>& named);

  InstallFlow(const InstallEngine& engine, Scheduler& scheduler, Workspace& workspace, Options options,
              Observer& observer);
  ~InstallFlow();

  // Ends at once what needs no Rhino to quit (fewer chosen than listed where
  // a shared copy needs both, nothing to do, another installation running, a newer
  // version installed, too little space); else asks every running Rhino 7 or
  // 8 to quit, waits (0.25 s ticks, up to the wait), then runs the
  // transaction for the chosen targets in the background; the observer hears
  // the rest. An attempt that ends without installing opens again every Rhino
  // it asked to quit that did quit. Once only.
  void start(const Choice& choice);
  // While waiting: ends the attempt at the next tick, nothing changed.
  void cancel() { cancelled_ = true; }

  // After finished: ends the watch on the Rhinos still quitting, for another
  // to take over (the command line ending at a signal), and says which they
  // are, each with its processes asked to quit, and how much of the grace is
  // left. The observer hears no settled.
  struct StillQuitting {
    std::vector<std::vector<RunningApplication>> applications;
    double secondsLeft = 0;
  };
  StillQuitting handOverQuitting();

 private:
  void tick();
  // The applications of the Rhino 7 and 8 processes running now.
  std::vector<std::filesystem::path> rhinosStillRunning();
  void end(Result result, const std::string& message);
  void startJob();
  void succeeded(const std::filesystem::path& backup);
  // What ends the attempt before any Rhino is asked to quit, if anything.
  std::optional<std::pair<Result, std::string>> endBeforeQuitting(const Choice& choice);
  // Its own refusals: a copy shared by both Rhinos, nothing to do.
  std::optional<std::pair<Result, std::string>> refusalOfTheChoice(const Choice& choice);
  // How an engine's failure ends the attempt, by its kind.
  static Result failureResult(const std::exception& error);
  // The refusal when fewer Rhinos are chosen than listed while an older copy
  // lies in a Grasshopper folder both share.
  std::optional<std::string> sharedCopyRefusal(const Choice& choice) const;
  // Where nothing needs to change, what says so; the targets left to change
  // stay in selected_.
  std::optional<std::string> nothingToDo();
  // "Installed Nimbra 1.3.0 for Rhino 8. Backup folder: …", or the like.
  std::string doneText(const std::filesystem::path& backup) const;
  // Opens again each application this attempt asked to quit once none of
  // its quit processes runs; watches those still quitting for the grace
  // period, then tells the observer the attempt has settled.
  void reopenQuit();
  void watchQuitting();
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
  std::vector<RhinoTarget> chosen_;  // as chosen, for the nothing-to-do outcome
  std::vector<RunningApplication> quitProcesses_;
  std::vector<std::filesystem::path> notAsked_;  // those the quit request did not reach
  double deadline_ = 0;
  bool cancelled_ = false;
  std::unique_ptr<Timer> timer_;
  std::unique_ptr<Timer> watch_;
  std::vector<RunningApplication> stillQuitting_;  // one process of each application not yet reopened
  double graceEnd_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace nimbra::ui
