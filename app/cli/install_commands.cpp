// The commands that change what is installed: --install, --uninstall and
// --restore, each run through the install flow (the same as the window's) on
// the command line's own loop.

#include <ostream>

#include "app/cli/commands.h"
#include "app/cli/console_loop.h"
#include "app/cli/interrupt_guard.h"
#include "app/cli/quit_watch.h"
#include "engine/failure_text.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

// Prints what the flow reports; stops the loop when the attempt ends.
class Reporter : public InstallFlow::Observer {
 public:
  Reporter(Report& report, ConsoleLoop& loop) : report_(report), loop_(loop) {}
  void statusChanged(const std::string& text) override { report_.line(text); }
  void stepBegan(const ProgressStep& step) override { report_.line(stepText(step)); }
  void waitingChanged(bool) override {}
  void finished(const InstallFlow::Outcome& outcome) override { outcome_ = outcome; }
  void settled() override { loop_.quit(); }
  const std::optional<InstallFlow::Outcome>& outcome() const { return outcome_; }

 private:
  Report& report_;
  ConsoleLoop& loop_;
  std::optional<InstallFlow::Outcome> outcome_;
};

// Hands the Rhinos the attempt still watches over to a watcher of their own,
// so that the command line can end now.
void handOver(const InstallFlow::StillQuitting& still, bool onlyInItsSession, const InstallLog& log) {
  if (still.applications.empty()) return;
  QuitWatch watch{still.secondsLeft, onlyInItsSession, {}};
  for (const std::vector<RunningApplication>& processes : still.applications) {
    QuitWatch::Application& application = watch.applications.emplace_back();
    application.bundle = processes.front().bundle;
    application.environment = processes.front().environment;
    for (const RunningApplication& process : processes) application.pids.push_back(process.pid);
    log.write(pathText(application.bundle) + " is still quitting: a watcher opens it again if it quits within " +
              std::to_string(static_cast<int>(still.secondsLeft + 0.5)) + " s.");
  }
  try {
    startQuitWatcher(watch);
  } catch (const std::exception& error) {
    log.write("The watcher could not start: " + describe(error));
  }
}

}  // namespace

Report::Outcome reportOf(const InstallFlow::Outcome& outcome) {
  using Result = InstallFlow::Result;
  switch (outcome.result) {
    case Result::done: {
      const char* word = outcome.operation == Operation::install     ? "installed"
                         : outcome.operation == Operation::uninstall ? "uninstalled"
                                                                     : "restored";
      return {kDone, word, outcome.message};
    }
    case Result::unchanged: return {kDone, "unchanged", outcome.message};
    case Result::refused: return {kFailed, "refused", outcome.message};
    case Result::noRhino: return {kNoRhino, "no-rhino", outcome.message};
    case Result::rhinoStillRunning: return {kRhinoRunning, "rhino-running", outcome.message};
    case Result::anotherInstallation: return {kAnotherInstallation, "another-installation", outcome.message};
    case Result::cancelled: return {kFailed, "cancelled", outcome.message};
    case Result::failed: break;
  }
  return {kFailed, "failed", outcome.message};
}

int Commands::attempt(Operation operation) {
  auto chosen = choose(operation);
  if (const auto* ended = std::get_if<InstallFlow::Outcome>(&chosen)) return report_.finish(reportOf(*ended));
  const InstallFlow::Choice& choice = std::get<InstallFlow::Choice>(chosen);
  const std::optional<fs::path> restoreFrom =
      line_.restoreFolder ? std::optional(fs::absolute(*line_.restoreFolder)) : std::nullopt;
  ConsoleLoop loop;
  Reporter reporter(report_, loop);
  InstallFlow flow(*engine_, loop, SystemWorkspace::shared(),
                   {.operation = operation,
                    .audience = InstallFlow::Audience::commandLine,
                    .reinstall = line_.reinstall,
                    .askRhinoToQuit = !line_.noQuit,
                    .waitSeconds = line_.waitSeconds,
                    .reopen = line_.noOpen ? InstallFlow::Reopen::none : InstallFlow::Reopen::quitOnes,
                    .restoreFrom = restoreFrom,
                    .onlyInItsSession = line_.forAnotherUser},
                   reporter);
  // Asked to stop, it cancels a wait. Once the attempt has ended, a Rhino
  // still quitting is left to a watcher and the command line ends at once:
  // a deployment tool has its outcome, and a signal finds nothing to wait for.
  const std::unique_ptr<Timer> watch = loop.scheduleRepeating(0.1, [&] {
    if (!reporter.outcome()) {
      if (InterruptGuard::requested()) flow.cancel();
      return;
    }
    handOver(flow.handOverQuitting(), line_.forAnotherUser, engine_->log());
    loop.quit();
  });
  loop.postToMain([&flow, &choice] { flow.start(choice); });
  loop.run();
  const InstallFlow::Outcome& outcome = *reporter.outcome();
  Report::Outcome said = reportOf(outcome);
  said.targets = described(outcome.targets);
  said.backupFolder = outcome.backup;
  return report_.finish(said);
}

}  // namespace nimbra::ui
