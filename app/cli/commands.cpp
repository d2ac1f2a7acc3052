#include "app/cli/commands.h"

#include <signal.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli/console_loop.h"
#include "engine/failure_text.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/unicode.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

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

std::string versionsText(const std::vector<RhinoTarget>& targets) {
  std::string text;
  for (const RhinoTarget& target : targets) {
    text += (text.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major));
  }
  return text;
}

// What stands in a target's destination: the version its manifest names.
std::string installedVersion(const RhinoTarget& target) {
  const FileManager& fm = FileManager::standard();
  const fs::path destination = target.destination();
  if (!fm.fileExists(destination)) return "";
  try {
    return trimmedWhitespace(fm.readWholeFile(destination / "manifest.txt", 1 << 20));
  } catch (const std::exception&) {
    return "unknown";
  }
}

// Prints what the flow reports; stops the loop when the attempt ends.
class Reporter : public InstallFlow::Observer {
 public:
  Reporter(std::ostream& out, std::ostream& err, bool quiet, ConsoleLoop& loop)
      : out_(out), err_(err), quiet_(quiet), loop_(loop) {}
  void statusChanged(const std::string& text) override {
    if (!quiet_) out_ << text << std::endl;
  }
  void waitingChanged(bool) override {}
  void finished(const InstallFlow::Outcome& outcome) override {
    outcome_ = outcome;
    loop_.quit();
  }
  void couldNotReopen(const fs::path&, const std::string& message) override {
    err_ << "Installed. Open Rhino from Applications. (" << message << ")" << std::endl;
  }
  const InstallFlow::Outcome& outcome() const { return outcome_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool quiet_;
  ConsoleLoop& loop_;
  InstallFlow::Outcome outcome_;
};

}  // namespace

Commands::Commands(const CommandLine& line, std::string invocation, fs::path resources, fs::path home,
                   std::ostream& out, std::ostream& err)
    : line_(line),
      invocation_(std::move(invocation)),
      resources_(std::move(resources)),
      home_(std::move(home)),
      out_(out),
      err_(err) {}

int Commands::run() {
  try {
    engine_ = std::make_unique<InstallEngine>(resources_, home_);
  } catch (const std::exception& error) {
    return fail(kFailed, "failed", describe(error));
  }
  const InstallLog& log = engine_->log();
  log.begin("Nimbra Setup " + engine_->release().version + ", command line: " + invocation_);
  const int status = runCommand();
  log.end("Exit status " + std::to_string(status) + (outcome_.empty() ? "." : ": " + outcome_));
  // Said once, and never a reason to fail: the log only serves support.
  if (const std::string why = log.firstFailure(); !why.empty()) {
    err_ << "The install log could not be written: " << why << "\n";
  }
  return status;
}

int Commands::runCommand() {
  switch (line_.command) {
    case CommandLine::Command::version:
      out_ << "Nimbra Setup, installing Nimbra " << engine_->release().version << "\n";
      return kDone;
    case CommandLine::Command::list: return list();
    case CommandLine::Command::install: return transact(Operation::install);
    case CommandLine::Command::uninstall: return transact(Operation::uninstall);
    case CommandLine::Command::recover: return recover();
    case CommandLine::Command::help:
    case CommandLine::Command::none: break;
  }
  return kUsage;
}

int Commands::list() {
  const std::vector<RhinoTarget> found = engine_->discover();
  if (found.empty()) return fail(kNoRhino, "no-rhino", "Rhino 7 or 8 was not found.");
  nlohmann::json rhinos = nlohmann::json::array();
  for (const RhinoTarget& target : found) {
    const std::string version = installedVersion(target);
    if (line_.json) {
      rhinos.push_back({{"major", target.major},
                        {"application", pathText(target.application)},
                        {"packageRoot", pathText(target.packageRoot)},
                        {"installed", version.empty() ? nlohmann::json() : nlohmann::json(version)}});
    } else {
      out_ << "Rhino " << target.major << "\t" << pathText(target.application) << "\t"
           << (version.empty() ? "Nimbra not installed" : "Nimbra " + version) << "\n";
    }
  }
  if (line_.json) out_ << nlohmann::json{{"outcome", "listed"}, {"rhinos", rhinos}}.dump(2) << "\n";
  return kDone;
}

std::optional<int> Commands::choose(std::vector<RhinoTarget>& listed, std::vector<RhinoTarget>& chosen) {
  listed = InstallFlow::firstOfEachMajor(engine_->discover());
  for (const fs::path& path : line_.paths) {
    const std::optional<RhinoTarget> found = engine_->target(path);
    if (!found) return fail(kFailed, "refused", "Select the Rhino 7 or Rhino 8 application.");
    InstallFlow::locate(listed, *found);
    chosen.push_back(*found);
  }
  InstallFlow::logDiscovery(*engine_, listed);
  if (listed.empty()) return fail(kNoRhino, "no-rhino", "Rhino 7 or 8 was not found.");
  for (const std::int64_t major : line_.majors) {
    const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& t) { return t.major == major; });
    if (found == listed.end()) return fail(kNoRhino, "no-rhino", "Rhino " + std::to_string(major) + " was not found.");
    chosen.push_back(*found);
  }
  if (chosen.empty()) chosen = listed;
  std::stable_sort(chosen.begin(), chosen.end(), [](const auto& a, const auto& b) { return a.major < b.major; });
  chosen = InstallFlow::firstOfEachMajor(chosen);
  return std::nullopt;
}

int Commands::transact(Operation operation) {
  std::vector<RhinoTarget> listed, chosen;
  if (const std::optional<int> status = choose(listed, chosen)) return *status;
  try {
    if (const auto refusal = InstallFlow::sharedCopyRefusal(*engine_, chosen.size(), listed.size())) {
      return fail(kFailed, "refused", *refusal);
    }
  } catch (const std::exception& error) {
    return fail(kFailed, "refused", describe(error));
  }
  return waitForFlow(operation, chosen);
}

int Commands::waitForFlow(Operation operation, const std::vector<RhinoTarget>& chosen) {
  const InterruptGuard guard;
  ConsoleLoop loop;
  Reporter reporter(out_, err_, line_.json, loop);
  InstallFlow flow(*engine_, loop, SystemWorkspace::shared(),
                   {.operation = operation,
                    .askRhinoToQuit = !line_.noQuit,
                    .waitSeconds = line_.waitSeconds,
                    .reopen = line_.noOpen ? InstallFlow::Reopen::none : InstallFlow::Reopen::quitOnes},
                   reporter);
  const std::unique_ptr<Timer> watch = loop.scheduleRepeating(0.1, [&flow] {
    if (interrupted != 0) flow.cancel();
  });
  loop.postToMain([&flow, chosen] { flow.start(chosen); });
  loop.run();
  const InstallFlow::Outcome& outcome = reporter.outcome();
  const bool installing = operation == Operation::install;
  switch (outcome.result) {
    case InstallFlow::Result::done: {
      const std::string message =
          (installing ? "Installed Nimbra " + engine_->release().version + " for " : "Removed Nimbra for ") +
          versionsText(outcome.targets) + ". Backup folder: " + pathText(*outcome.backup);
      outcome_ = message;
      if (line_.json) printJson(installing ? "installed" : "uninstalled", message, outcome.targets, outcome.backup);
      else out_ << message << "\n";
      return kDone;
    }
    case InstallFlow::Result::rhinoStillRunning: return fail(kRhinoRunning, "rhino-running", outcome.message);
    case InstallFlow::Result::cancelled: return fail(kFailed, "cancelled", outcome.message);
    case InstallFlow::Result::failed: break;
  }
  return fail(kFailed, "failed", outcome.message);
}

int Commands::recover() {
  bool restored = false;
  try {
    engine_->recover([&](const std::string& text) {
      restored = true;
      if (!line_.json) out_ << text << std::endl;
    });
  } catch (const std::exception& error) {
    return fail(kFailed, "failed", describe(error));
  }
  const std::string message = restored ? "The interrupted installation is restored." : "Nothing to recover.";
  outcome_ = message;
  if (line_.json) printJson(restored ? "recovered" : "nothing-to-do", message, {}, std::nullopt);
  else out_ << message << "\n";
  return kDone;
}

int Commands::fail(int status, const std::string& outcome, const std::string& message) {
  outcome_ = message;
  if (line_.json) printJson(outcome, message, {}, std::nullopt);
  else err_ << message << "\n";
  return status;
}

void Commands::printJson(const std::string& outcome, const std::string& message, const std::vector<RhinoTarget>& targets,
                         const std::optional<fs::path>& backup) {
  nlohmann::json installed = nlohmann::json::array();
  for (const RhinoTarget& target : targets) {
    installed.push_back({{"major", target.major},
                         {"application", pathText(target.application)},
                         {"destination", pathText(target.destination())}});
  }
  const nlohmann::json document = {{"outcome", outcome},
                                   {"message", message},
                                   {"version", engine_ ? nlohmann::json(engine_->release().version) : nlohmann::json()},
                                   {"targets", installed},
                                   {"backup", backup ? nlohmann::json(pathText(*backup)) : nlohmann::json()}};
  out_ << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace nimbra::ui
