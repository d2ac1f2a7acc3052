#include "app/cli/commands.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

#include "app/cli/interrupt_guard.h"
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

// A command's failure: another installation holding the lock is worth
// trying again later, anything else is not.
Report::Outcome failureOf(const std::exception& error) {
  if (error.what() == std::string(kAnotherInstallationRunning)) {
    return {kAnotherInstallation, "another-installation", describe(error)};
  }
  return {kFailed, "failed", describe(error)};
}

// Why the command must not run in home at all, if it must not: a home that
// is not there (making it would only hide how we were started), or root in
// a person's home, where every folder it made would be root's and that
// person's own runs would then fail.
std::optional<Report::Outcome> homeRefusal(const fs::path& home) {
  struct stat info {};
  if (::stat(home.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    return Report::Outcome{kFailed, "failed", "Your home folder \u201c" + pathText(home) + "\u201d does not exist."};
  }
  if (::geteuid() != 0 || info.st_uid == 0) return std::nullopt;
  const passwd* owner = ::getpwuid(info.st_uid);
  const std::string name = owner != nullptr ? owner->pw_name : std::to_string(info.st_uid);
  return Report::Outcome{kUsage, "usage",
                         "Nimbra Setup runs as root, but the home folder \u201c" + pathText(home) + "\u201d is " + name +
                             "\u2019s: what it made there would not be theirs. Run it as " + name +
                             ", or as root with --user " + name + "."};
}

// The name of the account this process runs as.
std::string userName() {
  const passwd* entry = ::getpwuid(::getuid());
  return entry != nullptr ? entry->pw_name : std::to_string(::getuid());
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
  if (line_.command != CommandLine::Command::version) {
    if (const std::optional<Report::Outcome> refusal = homeRefusal(home_)) return report_.finish(*refusal);
  }
  try {
    engine_ = std::make_unique<InstallEngine>(resources_, home_);
  } catch (const std::exception& error) {
    return report_.finish({kFailed, "failed", describe(error)});
  }
  const InterruptGuard guard;
  report_.setVersion(engine_->release().version);
  const InstallLog& log = engine_->log();
  log.begin("Nimbra Setup " + engine_->release().version + ", command line: " + invocation_ +
            (line_.forAnotherUser ? ", for " + userName() + ", run by an administrator" : ""));
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
  for (const RhinoTarget& target : targets) described.push_back({target, engine_->installedVersion(target)});
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
  std::optional<std::int64_t> newer;
  for (const RhinoTarget& target : chosen) {
    const InstallEngine::InstalledCopy copy = engine_->installedCopy(target);
    report_.line("Rhino " + std::to_string(target.major) + ": " + checkText(copy));
    if (copy.state != State::upToDate) changing.push_back(target);
    if (copy.state == State::newer && !newer) newer = target.major;
  }
  // What --install would refuse, --check answers as --install would.
  if (newer) {
    return report_.finish(reportOf(Operation::install, {InstallFlow::Result::failed,
                                                        InstallEngine::newerVersionInstalled(*newer)}));
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
    if (line_.command == CommandLine::Command::keepBackups) return report_.finish(failureOf(error));
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
    return report_.finish(failureOf(error));
  }
  return report_.finish(restored ? Report::Outcome{kDone, "recovered", "The interrupted installation is restored."}
                                 : Report::Outcome{kDone, "unchanged", "Nothing to recover."});
}

}  // namespace nimbra::ui
