#include "app/cli/commands.h"

#include <ostream>

#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

using State = InstallEngine::InstalledCopy::State;

// What --check says of one installed copy.
std::string checkText(const InstallEngine::InstalledCopy& copy) {
  switch (copy.state) {
    case State::upToDate: return "up to date";
    case State::older: return "an older version (" + copy.version + ")";
    case State::newer: return "a newer version (" + copy.version + ")";
    case State::changed: return "changed: " + copy.changed;
    case State::notInstalled: break;
  }
  return "not installed";
}

}  // namespace

Commands::Commands(const CommandLine& line, std::string invocation, fs::path resources, fs::path home,
                   std::ostream& out, std::ostream& err)
    : line_(line),
      invocation_(std::move(invocation)),
      resources_(std::move(resources)),
      home_(std::move(home)),
      err_(err),
      report_(out, err, line.json) {}

int Commands::run() {
  try {
    engine_ = std::make_unique<InstallEngine>(resources_, home_);
  } catch (const std::exception& error) {
    return report_.finish({kFailed, "failed", describe(error)});
  }
  report_.setVersion(engine_->release().version);
  const InstallLog& log = engine_->log();
  log.begin("Nimbra Setup " + engine_->release().version + ", command line: " + invocation_);
  const int status = runCommand();
  const std::string& outcome = report_.lastMessage();
  log.end("Exit status " + std::to_string(status) + (outcome.empty() ? "." : ": " + outcome));
  // Said once, and never a reason to fail: the log only serves support.
  if (const std::string why = log.firstFailure(); !why.empty()) {
    err_ << "The install log could not be written: " << why << "\n";
  }
  return status;
}

int Commands::runCommand() {
  switch (line_.command) {
    case CommandLine::Command::version:
      return report_.finish({kDone, "version", "Nimbra Setup, installing Nimbra " + engine_->release().version});
    case CommandLine::Command::list: return list();
    case CommandLine::Command::check: return check();
    case CommandLine::Command::install: return keepBackups(install());
    case CommandLine::Command::uninstall: return keepBackups(uninstall());
    case CommandLine::Command::restore: return keepBackups(restore());
    case CommandLine::Command::keepBackups: return keepBackups(kDone);
    case CommandLine::Command::recover: return recover();
    case CommandLine::Command::help:
    case CommandLine::Command::none: break;
  }
  return kUsage;
}

std::vector<Report::Target> Commands::described(const std::vector<RhinoTarget>& targets) const {
  std::vector<Report::Target> described;
  for (const RhinoTarget& target : targets) {
    const InstallEngine::InstalledCopy copy = engine_->installedCopy(target);
    const bool none = copy.state == State::notInstalled;
    described.push_back({target, none ? std::nullopt : std::optional(copy.version.empty() ? "unknown" : copy.version)});
  }
  return described;
}

int Commands::list() {
  const std::vector<RhinoTarget> found = engine_->discover();
  if (found.empty()) return report_.finish({kNoRhino, "no-rhino", sentence::kNoRhino});
  const std::vector<Report::Target> targets = described(found);
  for (const Report::Target& entry : targets) {
    report_.line("Rhino " + std::to_string(entry.target.major) + "\t" + pathText(entry.target.application) + "\t" +
                 (entry.installedVersion ? "Nimbra " + *entry.installedVersion : "Nimbra not installed"));
  }
  return report_.finish({kDone, "listed", "Found " + InstallFlow::versionsText(found) + ".", targets, std::nullopt, false});
}

int Commands::check() {
  std::vector<RhinoTarget> listed, chosen;
  if (const std::optional<int> status = choose(listed, chosen)) return *status;
  std::vector<RhinoTarget> changing;
  for (const RhinoTarget& target : chosen) {
    const InstallEngine::InstalledCopy copy = engine_->installedCopy(target);
    report_.line("Rhino " + std::to_string(target.major) + ": " + checkText(copy));
    if (copy.state != State::upToDate) changing.push_back(target);
  }
  if (changing.empty()) {
    return report_.finish({kDone, "up-to-date",
                           "Nimbra " + engine_->release().version + " is up to date for " +
                               InstallFlow::versionsText(chosen) + ".",
                           described(chosen)});
  }
  return report_.finish({kWouldChange, "would-change",
                         "An install would change Nimbra for " + InstallFlow::versionsText(changing) + ".",
                         described(chosen)});
}

std::optional<int> Commands::choose(std::vector<RhinoTarget>& listed, std::vector<RhinoTarget>& chosen) {
  auto choice = InstallFlow::choose(*engine_, line_.paths, line_.majors);
  if (const auto* ended = std::get_if<InstallFlow::Outcome>(&choice)) {
    return report_.finish(reportOf(Operation::install, *ended));
  }
  listed = std::move(std::get<InstallFlow::Choice>(choice).listed);
  chosen = std::move(std::get<InstallFlow::Choice>(choice).chosen);
  return std::nullopt;
}

int Commands::keepBackups(int status) {
  if (!line_.keepBackups || status != kDone) return status;
  std::vector<fs::path> removed;
  try {
    removed = engine_->pruneBackups(*line_.keepBackups, [&](const std::string& text) { report_.line(text); });
  } catch (const std::exception& error) {
    const bool alone = line_.command == CommandLine::Command::keepBackups;
    const bool busy = error.what() == std::string(kAnotherInstallationRunning);
    if (alone) {
      return report_.finish({busy ? kAnotherInstallation : kFailed, busy ? "another-installation" : "failed",
                             describe(error)});
    }
    // The command itself is done and reported; tidying up is not part of it.
    err_ << "The older backup folders were left as they are: " << describe(error) << "\n";
    return status;
  }
  if (line_.command != CommandLine::Command::keepBackups) return status;
  return report_.finish({kDone, removed.empty() ? "unchanged" : "pruned",
                         "Removed " + std::to_string(removed.size()) + " backup folder" +
                             (removed.size() == 1 ? "" : "s") + "; the newest " +
                             std::to_string(*line_.keepBackups) + " finished ones are kept."});
}

int Commands::recover() {
  bool restored = false;
  try {
    engine_->recover([&](const std::string& text) {
      restored = true;
      report_.line(text);
    });
  } catch (const std::exception& error) {
    return report_.finish({kFailed, "failed", describe(error)});
  }
  return report_.finish(restored ? Report::Outcome{kDone, "recovered", "The interrupted installation is restored."}
                                 : Report::Outcome{kDone, "unchanged", "Nothing to recover."});
}

}  // namespace nimbra::ui
