#include "app/install_flow.h"

#include <algorithm>
#include <map>
#include <set>
#include <stdexcept>

#include "engine/failure_text.h"
#include "engine/free_space.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

constexpr double kWaitInterval = 0.25;
constexpr const char* kNothingChanged = "Installation cancelled. No plug-in files were changed.";

}  // namespace

std::vector<RhinoTarget> InstallFlow::firstOfEachMajor(const std::vector<RhinoTarget>& discovered) {
  std::vector<RhinoTarget> kept;
  for (const RhinoTarget& target : discovered) {
    const bool seen = std::any_of(kept.begin(), kept.end(), [&](const auto& k) { return k.major == target.major; });
    if (!seen) kept.push_back(target);
  }
  return kept;
}

void InstallFlow::locate(std::vector<RhinoTarget>& targets, const RhinoTarget& found) {
  std::erase_if(targets, [&](const RhinoTarget& target) { return target.major == found.major; });
  targets.push_back(found);
  std::stable_sort(targets.begin(), targets.end(), [](const auto& a, const auto& b) { return a.major < b.major; });
}

std::optional<std::string> InstallFlow::sharedCopyRefusal(const InstallEngine& engine, std::size_t chosen,
                                                          std::size_t listed, Audience audience) {
  // With every listed Rhino updated, the engine moves the shared copy itself.
  if (chosen >= listed || engine.scanLegacy(engine.legacyRoots()).empty()) return std::nullopt;
  const std::string refusal = std::string("The existing Nimbra copy is shared by Rhino 7 and 8. ") +
                              (audience == Audience::window ? "Select both versions for this update."
                                                            : "Install both versions: --rhino 7 --rhino 8, or no --rhino.");
  engine.log().write("Refused: " + refusal);
  return refusal;
}

std::string InstallFlow::versionsText(const std::vector<RhinoTarget>& targets) {
  std::string text;
  for (const RhinoTarget& target : targets) {
    text += (text.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major));
  }
  return text;
}

void InstallFlow::logDiscovery(const InstallEngine& engine, const std::vector<RhinoTarget>& targets) {
  if (targets.empty()) engine.log().write("Found no Rhino 7 or 8.");
  for (const RhinoTarget& target : targets) {
    engine.log().write("Found Rhino " + std::to_string(target.major) + " at " + pathText(target.application) +
                       ", packages in " + pathText(target.packageRoot));
  }
}

InstallFlow::InstallFlow(const InstallEngine& engine, Scheduler& scheduler, Workspace& workspace, Options options,
                         Observer& observer)
    : engine_(engine), scheduler_(scheduler), workspace_(workspace), options_(options), observer_(observer) {}

InstallFlow::~InstallFlow() {
  if (timer_) timer_->invalidate();
}

std::optional<std::string> InstallFlow::refusalBeforeQuitting() const {
  if (engine_.anotherInstallationRunning()) return std::string(kAnotherInstallationRunning);
  try {
    engine_.checkRecoverable(selected_);
    if (options_.operation == Operation::restore) engine_.restorableReceipt(*options_.restoreFrom, selected_);
    if (options_.operation != Operation::install) return std::nullopt;
    for (const RhinoTarget& target : selected_) {
      if (engine_.installedCopy(target).state == InstallEngine::InstalledCopy::State::newer) {
        return InstallEngine::newerVersionInstalled(target.major);
      }
    }
    requireFreeSpace(engine_.fileManager(), engine_.release(), selected_);
  } catch (const std::exception& error) {
    return describe(error);
  }
  return std::nullopt;
}

void InstallFlow::start(std::vector<RhinoTarget> selected) {
  selected_ = std::move(selected);
  // Nobody is asked to close Rhino for an attempt that cannot go ahead.
  if (const std::optional<std::string> refusal = refusalBeforeQuitting()) {
    return end(*refusal == kAnotherInstallationRunning ? Result::anotherInstallation : Result::failed, *refusal);
  }
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
  engine_.log().write(message);
  reopenQuit();
  observer_.finished({result, message, std::nullopt, selected_});
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
  observer_.finished({Result::done, "", backup, selected_});
  if (options_.operation == Operation::uninstall || options_.reopen == Reopen::none) return;
  std::vector<RunningApplication> applications = quitApplications();
  if (applications.empty() && options_.reopen == Reopen::quitOnesElseLastSelected && !selected_.empty()) {
    applications.push_back({0, selected_.back().application, {}});
  }
  for (const RunningApplication& application : applications) {
    try {
      reopen(application);
    } catch (const std::exception& error) {
      observer_.couldNotReopen(application.bundle, describe(error));
    }
  }
}

}  // namespace nimbra::ui
