#include "app/install_flow.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

constexpr double kWaitInterval = 0.25;
constexpr const char* kNothingChanged = "Installation cancelled. No plug-in files were changed.";

}  // namespace

InstallFlow::InstallFlow(const InstallEngine& engine, Scheduler& scheduler, Workspace& workspace, Options options,
                         Observer& observer)
    : engine_(engine), scheduler_(scheduler), workspace_(workspace), options_(options), observer_(observer) {}

InstallFlow::~InstallFlow() {
  if (timer_) timer_->invalidate();
}

void InstallFlow::start(std::vector<RhinoTarget> selected, std::size_t listed) {
  selected_ = chosen_ = std::move(selected);
  // Nobody is asked to close Rhino for an attempt that cannot or need not go ahead.
  if (const auto ending = endBeforeQuitting(listed)) return end(ending->first, ending->second);
  for (RunningApplication& running : workspace_.runningApplications()) {
    const std::optional<RhinoTarget> rhino = engine_.target(running.bundle, InstallEngine::PackageRoot::standard);
    if (rhino && (rhino->major == 7 || rhino->major == 8)) quitProcesses_.push_back(std::move(running));
  }
  if (!quitProcesses_.empty() && !options_.askRhinoToQuit) {
    return end(Result::rhinoStillRunning, "Rhino is running. Quit Rhino and try again.");
  }
  observer_.waitingChanged(true);
  observer_.statusChanged(quitProcesses_.empty() ? "Checking installation…" : "Save your work in Rhino to continue.");
  // The ordinary quit request: Rhino asks the user about unsaved work itself.
  for (const RunningApplication& running : quitProcesses_) workspace_.terminateApplication(running.pid);
  deadline_ = scheduler_.now() + options_.waitSeconds;
  timer_ = scheduler_.scheduleRepeating(kWaitInterval, [this] { tick(); });
}

bool InstallFlow::rhinoStillRunning() {
  for (const RunningApplication& running : workspace_.runningApplications()) {
    if (workspace_.isProcessRunning(running.pid) &&
        engine_.target(running.bundle, InstallEngine::PackageRoot::standard)) {
      return true;
    }
  }
  return false;
}

void InstallFlow::tick() {
  if (cancelled_ || scheduler_.now() > deadline_) {
    timer_->invalidate();
    observer_.waitingChanged(false);
    return end(cancelled_ ? Result::cancelled : Result::rhinoStillRunning, kNothingChanged);
  }
  // A Rhino started since the request holds the install back too.
  const bool rhinoRunning = rhinoStillRunning();
  const bool quitOneAlive = std::any_of(quitProcesses_.begin(), quitProcesses_.end(),
                                        [this](const RunningApplication& quit) { return workspace_.isProcessRunning(quit.pid); });
  if (quitOneAlive || rhinoRunning) return;
  timer_->invalidate();
  observer_.waitingChanged(false);  // from here on the attempt cannot be cancelled
  startJob();
}

void InstallFlow::end(Result result, const std::string& message) {
  engine_.log().write((result == Result::refused ? "Refused: " : "") + message);
  reopenQuit();
  observer_.finished({result, message, std::nullopt, result == Result::unchanged ? chosen_ : selected_});
}

void InstallFlow::reopenQuit() {
  std::set<fs::path> reopened;
  for (const RunningApplication& quit : quitProcesses_) {
    // One still running was never closed; one copy of each application.
    if (workspace_.isProcessRunning(quit.pid) || !reopened.insert(quit.bundle).second) continue;
    try {
      reopen(quit);
    } catch (const std::exception&) {
      // Logged; the attempt's own outcome is what the user reads.
    }
  }
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
      const InstallEngine::Progress progress = [this, post](const std::string& text) {
        post([this, text] { observer_.statusChanged(text); });
      };
      const fs::path backup = options_.operation == Operation::install ? engine_.install(selected_, std::nullopt, progress)
                              : options_.operation == Operation::restore
                                  ? engine_.restore(*options_.restoreFrom, selected_, progress)
                                  : engine_.uninstall(selected_, progress);
      post([this, backup] { succeeded(backup); });
    } catch (const std::exception& error) {
      const std::string message = describe(error);
      post([this, message] {
        reopenQuit();
        observer_.finished({Result::failed, message, std::nullopt, selected_});
      });
    }
  });
}

void InstallFlow::succeeded(const fs::path& backup) {
  Outcome outcome{Result::done, doneText(backup), backup, selected_};
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
}

}  // namespace nimbra::ui
