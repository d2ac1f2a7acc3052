// The commands that change what is installed: --install and --uninstall, each
// refused at once where there is nothing to do, else run through the install
// flow (the same as the window's) on the command line's own loop.

#include <signal.h>

#include <ostream>

#include "app/cli/commands.h"
#include "app/cli/console_loop.h"
#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

using State = InstallEngine::InstalledCopy::State;

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

// Ctrl+C and the quit request, for as long as an attempt runs: they cancel
// its wait for Rhino; once the install has begun it finishes.
class InterruptGuard {
 public:
  InterruptGuard() {
    interrupted = 0;
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~InterruptGuard() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
  }

 private:
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

// Prints what the flow reports; stops the loop when the attempt ends.
class Reporter : public InstallFlow::Observer {
 public:
  Reporter(Report& report, ConsoleLoop& loop) : report_(report), loop_(loop) {}
  void statusChanged(const std::string& text) override { report_.line(text); }
  void waitingChanged(bool) override {}
  void finished(const InstallFlow::Outcome& outcome) override {
    outcome_ = outcome;
    loop_.quit();
  }
  void couldNotReopen(const std::filesystem::path& application, const std::string& reason) override {
    leftClosed_ += ". " + pathText(application) + " was left closed: " + reason;
  }
  const InstallFlow::Outcome& outcome() const { return outcome_; }
  // What could not be opened again after the install, said after its outcome.
  const std::string& leftClosed() const { return leftClosed_; }

 private:
  Report& report_;
  ConsoleLoop& loop_;
  InstallFlow::Outcome outcome_;
  std::string leftClosed_;
};

}  // namespace

int Commands::install() {
  std::vector<RhinoTarget> listed, chosen;
  if (const std::optional<int> status = choose(listed, chosen)) return *status;
  try {
    const auto refusal =
        InstallFlow::sharedCopyRefusal(*engine_, chosen.size(), listed.size(), InstallFlow::Audience::commandLine);
    if (refusal) return report_.finish({kFailed, "refused", *refusal});
  } catch (const std::exception& error) {
    return report_.finish({kFailed, "refused", describe(error)});
  }
  // Run again and again, as deployment tools do, it changes nothing where
  // this release is installed whole: no Rhino asked to quit, no backup.
  bool allUpToDate = true;
  for (const RhinoTarget& target : chosen) {
    const InstallEngine::InstalledCopy copy = engine_->installedCopy(target);
    allUpToDate = allUpToDate && copy.state == State::upToDate;
    if (copy.state == State::changed) {
      report_.line("Rhino " + std::to_string(target.major) + ": " + copy.changed +
                   " differs from this installer's; installing again.");
    }
  }
  if (allUpToDate && !line_.reinstall) {
    return report_.finish({kDone, "unchanged",
                           "Nimbra " + engine_->release().version + " is already installed for " +
                               InstallFlow::versionsText(chosen) + ".",
                           described(chosen)});
  }
  return runFlow(Operation::install, chosen);
}

int Commands::uninstall() {
  std::vector<RhinoTarget> listed, chosen, present;
  if (const std::optional<int> status = choose(listed, chosen)) return *status;
  for (const RhinoTarget& target : chosen) {
    if (engine_->installedCopy(target).state != State::notInstalled) present.push_back(target);
  }
  if (present.empty()) {
    return report_.finish(
        {kDone, "unchanged", "Nimbra is not installed for " + InstallFlow::versionsText(chosen) + ".", described(chosen)});
  }
  return runFlow(Operation::uninstall, present);
}

int Commands::restore() {
  std::vector<RhinoTarget> listed, chosen;
  if (const std::optional<int> status = choose(listed, chosen)) return *status;
  const std::optional<fs::path> folder =
      line_.restoreFolder ? std::optional(fs::absolute(*line_.restoreFolder)) : engine_->newestCompleteBackup();
  if (!folder) return report_.finish({kFailed, "refused", "There is no finished backup of Nimbra to restore."});
  return runFlow(Operation::restore, listed, folder);
}

int Commands::runFlow(Operation operation, const std::vector<RhinoTarget>& chosen,
                      const std::optional<fs::path>& restoreFrom) {
  const InterruptGuard guard;
  ConsoleLoop loop;
  Reporter reporter(report_, loop);
  InstallFlow flow(*engine_, loop, SystemWorkspace::shared(),
                   {.operation = operation,
                    .askRhinoToQuit = !line_.noQuit,
                    .waitSeconds = line_.waitSeconds,
                    .reopen = line_.noOpen ? InstallFlow::Reopen::none : InstallFlow::Reopen::quitOnes,
                    .restoreFrom = restoreFrom,
                    .onlyInItsSession = line_.forAnotherUser},
                   reporter);
  const std::unique_ptr<Timer> watch = loop.scheduleRepeating(0.1, [&flow] {
    if (interrupted != 0) flow.cancel();
  });
  loop.postToMain([&flow, chosen] { flow.start(chosen); });
  loop.run();
  const InstallFlow::Outcome& outcome = reporter.outcome();
  const std::vector<Report::Target> targets = described(outcome.targets);
  switch (outcome.result) {
    case InstallFlow::Result::done: {
      if (operation == Operation::restore) {
        return report_.finish({kDone, "restored",
                               "Restored the backup " + pathText(*restoreFrom) +
                                   ". What it replaced is in the backup folder: " + pathText(*outcome.backup) +
                                   reporter.leftClosed(),
                               targets, outcome.backup});
      }
      const bool installing = operation == Operation::install;
      return report_.finish({kDone, installing ? "installed" : "uninstalled",
                             (installing ? "Installed Nimbra " + engine_->release().version + " for "
                                         : "Removed Nimbra for ") +
                                 InstallFlow::versionsText(outcome.targets) +
                                 ". Backup folder: " + pathText(*outcome.backup) + reporter.leftClosed(),
                             targets, outcome.backup});
    }
    case InstallFlow::Result::rhinoStillRunning:
      return report_.finish({kRhinoRunning, "rhino-running", outcome.message, targets});
    case InstallFlow::Result::anotherInstallation:
      return report_.finish({kAnotherInstallation, "another-installation", outcome.message, targets});
    case InstallFlow::Result::cancelled: return report_.finish({kFailed, "cancelled", outcome.message, targets});
    case InstallFlow::Result::failed: break;
  }
  return report_.finish({kFailed, "failed", outcome.message, targets});
}

}  // namespace nimbra::ui
