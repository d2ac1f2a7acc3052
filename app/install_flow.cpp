#include "app/install_flow.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include "engine/discovery.h"
#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

constexpr double kWaitInterval = 0.25;
constexpr const char* kNothingChanged = "Installation cancelled. No plug-in files were changed.";
constexpr const char* kNothingChangedAfterFailure = " Nothing was changed: the plug-in files are as they were before.";

}  // namespace

InstallFlow::InstallFlow(const InstallEngine& engine, Scheduler& scheduler, Workspace& workspace, Options options,
                         Observer& observer)
    : engine_(engine), scheduler_(scheduler), workspace_(workspace), options_(options), observer_(observer) {}

InstallFlow::~InstallFlow() {
  if (timer_) timer_->invalidate();
  if (watch_) watch_->invalidate();
}

void InstallFlow::start(const Choice& choice) {
  selected_ = chosen_ = choice.chosen();
  // Nobody is asked to close Rhino for an attempt that cannot or need not go ahead.
  if (const auto ending = endBeforeQuitting(choice)) return end(ending->first, ending->second);
  const Discovery discovery(engine_);
  for (RunningApplication& running : workspace_.runningApplications()) {
    const std::optional<RhinoTarget> rhino = discovery.target(running.bundle, Discovery::PackageRoot::standard);
    if (!rhino || (rhino->major != 7 && rhino->major != 8)) continue;
    // What opens it again in its own session; read of Rhino alone.
    running.environment = workspace_.environmentOf(running.pid);
    quitProcesses_.push_back(std::move(running));
  }
  if (!quitProcesses_.empty() && !options_.askRhinoToQuit) {
    quitProcesses_.clear();  // none was asked, so none is to be opened again
    return end(Result::rhinoStillRunning, "Rhino is running. Quit Rhino and try again.");
  }
  observer_.waitingChanged(true);
  observer_.statusChanged(quitProcesses_.empty() ? "Checking installation…" : "Save your work in Rhino to continue.");
  // The ordinary quit request: Rhino asks the user about unsaved work itself.
  // One the request did not reach was not closed by us: it is neither
  // watched nor opened again.
  std::erase_if(quitProcesses_, [this](const RunningApplication& running) {
    const std::string who = pathText(running.bundle) + " (process " + std::to_string(running.pid) + ")";
    if (workspace_.terminateApplication(running.pid)) {
      engine_.log().write("Asked " + who + " to quit.");
      return false;
    }
    engine_.log().write("Could not ask " + who + " to quit: " + sentence::kQuitNotDelivered);
    if (std::find(notAsked_.begin(), notAsked_.end(), running.bundle) == notAsked_.end()) notAsked_.push_back(running.bundle);
    return true;
  });
  deadline_ = scheduler_.now() + options_.waitSeconds;
  timer_ = scheduler_.scheduleRepeating(kWaitInterval, [this] { tick(); });
}

std::vector<fs::path> InstallFlow::rhinosStillRunning() {
  std::vector<fs::path> running;
  for (const RunningApplication& application : workspace_.runningApplications()) {
    const bool known = std::find(running.begin(), running.end(), application.bundle) != running.end();
    if (!known && workspace_.isProcessRunning(application.pid) &&
        Discovery(engine_).target(application.bundle, Discovery::PackageRoot::standard)) {
      running.push_back(application.bundle);
    }
  }
  return running;
}

void InstallFlow::tick() {
  if (cancelled_ || scheduler_.now() > deadline_) {
    timer_->invalidate();
    observer_.waitingChanged(false);
    std::string message = kNothingChanged;
    // The window shows which Rhino runs; a log or a script needs it said.
    if (!cancelled_ && options_.audience == Audience::commandLine) {
      std::string names;
      for (const fs::path& bundle : rhinosStillRunning()) names += (names.empty() ? "" : ", ") + pathText(bundle);
      if (!names.empty()) message += " Still running after the wait: " + names + ".";
    }
    for (const fs::path& bundle : notAsked_) message += " " + pathText(bundle) + " was not asked to quit: " + sentence::kQuitNotDelivered;
    return end(cancelled_ ? Result::cancelled : Result::rhinoStillRunning, message);
  }
  // A Rhino started since the request holds the install back too.
  const bool rhinoRunning = !rhinosStillRunning().empty();
  const bool quitOneAlive = std::any_of(quitProcesses_.begin(), quitProcesses_.end(),
                                        [this](const RunningApplication& quit) { return workspace_.isProcessRunning(quit.pid); });
  if (quitOneAlive || rhinoRunning) return;
  timer_->invalidate();
  observer_.waitingChanged(false);  // from here on the attempt cannot be cancelled
  startJob();
}

void InstallFlow::end(Result result, const std::string& message) {
  engine_.log().write((result == Result::refused ? "Refused: " : "") + message);
  Outcome outcome{result, options_.operation, message, std::nullopt, result == Result::unchanged ? chosen_ : selected_};
  outcome.notAskedToQuit = notAsked_;
  observer_.finished(outcome);
  reopenQuit();
}

void InstallFlow::reopenQuit() {
  stillQuitting_ = quitApplications();
  graceEnd_ = scheduler_.now() + kReopenGrace;
  watchQuitting();
  if (!stillQuitting_.empty()) watch_ = scheduler_.scheduleRepeating(kWaitInterval, [this] { watchQuitting(); });
}

void InstallFlow::watchQuitting() {
  const auto quitting = [this](const RunningApplication& application) {
    return std::any_of(quitProcesses_.begin(), quitProcesses_.end(), [&](const RunningApplication& quit) {
      return quit.bundle == application.bundle && workspace_.isProcessRunning(quit.pid);
    });
  };
  std::erase_if(stillQuitting_, [&](const RunningApplication& application) {
    if (quitting(application)) return false;
    try {
      reopen(application);
    } catch (const std::exception&) {
      // Logged; the attempt's own outcome is what the user reads.
    }
    return true;
  });
  if (!stillQuitting_.empty() && scheduler_.now() < graceEnd_) return;
  for (const RunningApplication& application : stillQuitting_) {
    engine_.log().write(pathText(application.bundle) + " has not quit; it runs on.");
  }
  stillQuitting_.clear();
  if (watch_) watch_->invalidate();
  observer_.settled();
}

InstallFlow::StillQuitting InstallFlow::handOverQuitting() {
  StillQuitting still{{}, std::max(graceEnd_ - scheduler_.now(), 0.0)};
  for (const RunningApplication& application : stillQuitting_) {
    std::vector<RunningApplication>& processes = still.applications.emplace_back();
    for (const RunningApplication& quit : quitProcesses_) {
      if (quit.bundle == application.bundle) processes.push_back(quit);
    }
  }
  stillQuitting_.clear();
  if (watch_) watch_->invalidate();
  return still;
}

void InstallFlow::reopen(const RunningApplication& quit) {
  try {
    // Without its environment, an administrator's run would open it in the
    // administrator's session, or in none.
    if (quit.environment.empty() && options_.onlyInItsSession) {
      throw std::runtime_error(sentence::kNotInItsSession);
    }
    workspace_.launchApplication(quit.bundle, quit.environment);
    engine_.log().write("Opened again " + pathText(quit.bundle));
  } catch (const std::exception& error) {
    engine_.log().write("Could not open " + pathText(quit.bundle) + " again: " + describe(error));
    throw;
  }
}

std::vector<RunningApplication> InstallFlow::quitApplications() const {
  std::map<fs::path, RunningApplication> byApplication;
  for (const RunningApplication& quit : quitProcesses_) byApplication.emplace(quit.bundle, quit);
  std::vector<RunningApplication> applications;
  for (auto& [bundle, quit] : byApplication) applications.push_back(std::move(quit));
  return applications;
}

void InstallFlow::startJob() {
  const std::weak_ptr<bool> alive = alive_;
  const auto post = [this, alive](std::function<void()> work) {
    scheduler_.postToMain([alive, work = std::move(work)] {
      if (!alive.expired()) work();
    });
  };
  scheduler_.runInBackground([this, post] {
    try {
      const Progress progress = [this, post](const ProgressStep& step) {
        post([this, step] { observer_.stepBegan(step); });
      };
      const fs::path backup = options_.operation == Operation::install ? engine_.install(selected_, std::nullopt, progress)
                              : options_.operation == Operation::restore
                                  ? engine_.restore(*options_.restoreFrom, selected_, progress)
                                  : engine_.uninstall(selected_, progress);
      post([this, backup] { succeeded(backup); });
    } catch (const std::exception& error) {
      // Everything was put back unless the roll-back says otherwise: say so,
      // or people go looking for damage that is not there.
      const bool putBack = kindOf(error) != ErrorKind::incompleteRollBack;
      const std::string message = describe(error) + (putBack ? kNothingChangedAfterFailure : "");
      post([this, message, result = failureResult(error)] {
        observer_.finished({result, options_.operation, message, std::nullopt, selected_});
        reopenQuit();
      });
    }
  });
}

void InstallFlow::succeeded(const fs::path& backup) {
  Outcome outcome{Result::done, options_.operation, doneText(backup), backup, selected_};
  const bool reopens = options_.operation != Operation::uninstall && options_.reopen != Reopen::none;
  std::vector<RunningApplication> applications = reopens ? quitApplications() : std::vector<RunningApplication>{};
  if (reopens && applications.empty() && options_.reopen == Reopen::quitOnesElseLastSelected && !selected_.empty()) {
    applications.push_back({0, selected_.back().application, {}});
  }
  for (const RunningApplication& application : applications) {
    try {
      reopen(application);
    } catch (const std::exception& error) {
      outcome.leftClosed.push_back(application.bundle);
      outcome.message += ". " + pathText(application.bundle) + " was left closed: " + describe(error);
    }
  }
  observer_.finished(outcome);
  observer_.settled();
}

std::string InstallFlow::doneText(const fs::path& backup) const {
  switch (options_.operation) {
    case Operation::restore:
      return "Restored the backup " + pathText(*options_.restoreFrom) +
             ". What it replaced is in the backup folder: " + pathText(backup);
    case Operation::uninstall: return "Removed Nimbra for " + versionsText(selected_) + ". Backup folder: " + pathText(backup);
    case Operation::install: break;
  }
  return "Installed Nimbra " + engine_.release().version + " for " + versionsText(selected_) +
         ". Backup folder: " + pathText(backup);
}

}  // namespace nimbra::ui
