#include "app/cli/commands.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ostream>

#include "app/cli/interrupt_guard.h"
#include "engine/backups.h"
#include "engine/discovery.h"
#include "engine/failure_text.h"
#include "engine/installed_copy.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

using State = InstalledCopy::State;
using Verdict = InstallFlow::Check::Verdict;

// What --check says of one installed copy.
std::string checkText(const InstalledCopy& copy) {
  switch (copy.state) {
    case State::upToDate: return "up to date";
    case State::older: return "an older version (" + copy.version + ")";
    case State::newer: return "a newer version (" + copy.version + ")";
    case State::changed: return "changed: " + copy.changed;
    case State::notInstalled: break;
  }
  return "not installed";
}

// --check's verdict: "up-to-date", the word scripts written for it read, is
// its own; a newer version fails as an install would.
Report::Outcome verdictOf(const InstallFlow::Check& check) {
  switch (check.verdict) {
    case Verdict::upToDate: return {kDone, "up-to-date", check.message};
    case Verdict::nothingToDo: return {kDone, "unchanged", check.message};
    case Verdict::wouldChange: return {kWouldChange, "would-change", check.message};
    case Verdict::newerInstalled: break;
  }
  return {kFailed, "failed", check.message};
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

std::string stepText(const ProgressStep& step) {
  return "[" + std::to_string(step.step) + "/" + std::to_string(step.steps) + "] " + step.text;
}

Report::Outcome failureOf(const std::exception& error) {
  if (kindOf(error) == ErrorKind::anotherInstallation) return {kAnotherInstallation, "another-installation", describe(error)};
  return {kFailed, "failed", describe(error)};
}

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
    case CommandLine::Command::install: return keepBackups(attempt(Operation::install));
    case CommandLine::Command::uninstall: return keepBackups(attempt(Operation::uninstall));
    case CommandLine::Command::restore: return keepBackups(attempt(Operation::restore));
    case CommandLine::Command::keepBackups: return keepBackups(kDone);
    case CommandLine::Command::recover: return recover();
    case CommandLine::Command::help:
    case CommandLine::Command::none: break;
  }
  return kUsage;
}

std::vector<Report::Target> Commands::described(const std::vector<RhinoTarget>& targets) const {
  std::vector<Report::Target> described;
  const InstalledCopies copies(*engine_);
  for (const RhinoTarget& target : targets) described.push_back({target, copies.installedVersion(target)});
  return described;
}

int Commands::list() {
  const std::vector<RhinoTarget> found = Discovery(*engine_).discover();
  if (found.empty()) return report_.finish({kNoRhino, "no-rhino", sentence::kNoRhino});
  const std::vector<Report::Target> targets = described(found);
  for (const Report::Target& entry : targets) {
    report_.line("Rhino " + std::to_string(entry.target.major) + "\t" + pathText(entry.target.application) + "\t" +
                 installedText(entry.installedVersion));
  }
  return report_.finish({kDone, "listed", "Found " + InstallFlow::versionsText(found) + ".", targets, std::nullopt, false});
}

int Commands::check() {
  const Operation operation = line_.checked.value_or(Operation::install);
  auto chosen = choose(operation);
  if (const auto* ended = std::get_if<InstallFlow::Outcome>(&chosen)) return report_.finish(reportOf(*ended));
  const InstallFlow::Choice& choice = std::get<InstallFlow::Choice>(chosen);
  if (operation == Operation::restore) return checkRestore(choice);
  const InstallFlow::Check check = operation == Operation::install ? InstallFlow::check(*engine_, choice)
                                                                   : InstallFlow::checkUninstall(*engine_, choice);
  Report::Outcome said = verdictOf(check);
  for (std::size_t i = 0; i < check.copies.size(); ++i) {
    const RhinoTarget& target = choice.chosen()[i];
    const InstalledCopy& copy = check.copies[i];
    report_.line("Rhino " + std::to_string(target.major) + ": " + checkText(copy));
    const bool installed = copy.state != State::notInstalled;
    said.targets.push_back({target, installed ? std::optional(copy.version.empty() ? "unknown" : copy.version) : std::nullopt});
  }
  return report_.finish(said);
}

int Commands::checkRestore(const InstallFlow::Choice& choice) {
  Report::Outcome said{kWouldChange, "would-change", "", described(choice.chosen())};
  try {
    const std::optional<fs::path> named =
        line_.restoreFolder ? std::optional(fs::absolute(*line_.restoreFolder)) : std::nullopt;
    const auto decided = InstallFlow::restoreDecision(*engine_, named);
    if (const auto* nothing = std::get_if<std::string>(&decided)) {
      said.exitStatus = kDone, said.outcome = "unchanged", said.message = *nothing;
      return report_.finish(said);
    }
    const fs::path& folder = std::get<fs::path>(decided);
    Backups(*engine_).restorableReceipt(folder, choice.listed());
    said.message = "A restore would put back what " + pathText(folder) + " holds.";
  } catch (const std::exception& error) {
    Report::Outcome failed = failureOf(error);
    failed.targets = said.targets;
    return report_.finish(failed);
  }
  return report_.finish(said);
}

std::variant<InstallFlow::Choice, InstallFlow::Outcome> Commands::choose(Operation operation) const {
  std::vector<RhinoTarget> listed = InstallFlow::discover(*engine_);
  std::vector<std::int64_t> majors = line_.majors;
  for (const fs::path& path : line_.paths) {
    auto located = InstallFlow::locate(*engine_, path, operation, InstallFlow::Audience::commandLine, listed);
    if (const auto* refusal = std::get_if<InstallFlow::Outcome>(&located)) return *refusal;
    majors.push_back(std::get<RhinoTarget>(located).major);
  }
  return InstallFlow::choose(std::move(listed), majors, operation);
}

int Commands::keepBackups(int status) {
  if (!line_.keepBackups || status != kDone) return status;
  std::vector<fs::path> removed;
  try {
    removed = Backups(*engine_).pruneBackups(*line_.keepBackups,
                                             [&](const ProgressStep& step) { report_.line(stepText(step)); });
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
    engine_->recover([&](const ProgressStep& step) {
      restored = true;
      report_.line(stepText(step));
    });
  } catch (const std::exception& error) {
    return report_.finish(failureOf(error));
  }
  return report_.finish(restored ? Report::Outcome{kDone, "recovered", "The interrupted installation is restored."}
                                 : Report::Outcome{kDone, "unchanged", "Nothing to recover."});
}

}  // namespace nimbra::ui
