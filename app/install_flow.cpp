#include "app/install_flow.h"

#include <algorithm>
#include <set>

#include "engine/failure_text.h"
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
                                                          std::size_t listed) {
  // With every listed Rhino updated, the engine moves the shared copy itself.
  if (chosen >= listed || engine.scanLegacy(engine.legacyRoots()).empty()) return std::nullopt;
  const std::string refusal = "The existing Nimbra copy is shared by Rhino 7 and 8. Select both versions for this update.";
  engine.log().write("Refused: " + refusal);
  return refusal;
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

void InstallFlow::start(std::vector<RhinoTarget> selected) {
  selected_ = std::move(selected);
  std::set<fs::path> applications;
  for (const RunningApp& running : workspace_.runningApplications()) {
    if (!running.bundle) continue;
    const std::optional<RhinoTarget> rhino = engine_.target(*running.bundle, false);
    if (!rhino || (rhino->major != 7 && rhino->major != 8)) continue;
    quitProcesses_.push_back(running.pid);
    applications.insert(*running.bundle);
  }
  quitApplications_.assign(applications.begin(), applications.end());
  if (!quitProcesses_.empty() && !options_.askRhinoToQuit) {
    return end(Result::rhinoStillRunning, "Rhino is running. Quit Rhino and try again.");
  }
  observer_.waitingChanged(true);
  observer_.statusChanged(quitProcesses_.empty() ? "Checking installation…" : "Save your work in Rhino to continue.");
  // The ordinary quit request: Rhino asks the user about unsaved work itself.
  for (const pid_t pid : quitProcesses_) workspace_.terminateApplication(pid);
  deadline_ = scheduler_.now() + options_.waitSeconds;
  timer_ = scheduler_.scheduleRepeating(kWaitInterval, [this] { tick(); });
}

bool InstallFlow::rhinoStillRunning() {
  for (const RunningApp& running : workspace_.runningApplications()) {
    if (workspace_.isProcessRunning(running.pid) && running.bundle && engine_.target(*running.bundle, false)) {
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
                                        [this](pid_t pid) { return workspace_.isProcessRunning(pid); });
  if (quitOneAlive || rhinoRunning) return;
  timer_->invalidate();
  observer_.waitingChanged(false);  // from here on the attempt cannot be cancelled
  startJob();
}

void InstallFlow::end(Result result, const std::string& message) {
  engine_.log().write(message);
  observer_.finished({result, message, std::nullopt, selected_});
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
      const fs::path backup = options_.operation == Operation::install
                                  ? engine_.install(selected_, std::nullopt, progress)
                                  : engine_.uninstall(selected_, progress);
      post([this, backup] { succeeded(backup); });
    } catch (const std::exception& error) {
      const std::string message = describe(error);
      post([this, message] { observer_.finished({Result::failed, message, std::nullopt, selected_}); });
    }
  });
}

void InstallFlow::succeeded(const fs::path& backup) {
  observer_.finished({Result::done, "", backup, selected_});
  if (options_.operation != Operation::install || options_.reopen == Reopen::none) return;
  std::vector<fs::path> applications = quitApplications_;
  if (applications.empty() && options_.reopen == Reopen::quitOnesElseLastSelected && !selected_.empty()) {
    applications.push_back(selected_.back().application);
  }
  for (const fs::path& application : applications) {
    try {
      workspace_.launchApplication(application);
    } catch (const std::exception& error) {
      engine_.log().write("Could not open Rhino again: " + describe(error));
      observer_.couldNotReopen(application, describe(error));
    }
  }
}

}  // namespace nimbra::ui
