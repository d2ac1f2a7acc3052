#include "app/cli/user_run.h"

#include <grp.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "app/cli/commands.h"
#include "app/cli/interrupt_guard.h"
#include "app/cli/report.h"
#include "engine/discovery.h"
#include "engine/install_engine.h"
#include "engine/platform/own_locations.h"
#include "engine/platform/subprocess.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

// Becomes the person for good, groups included. Nothing of theirs is
// touched before this.
bool becomeUser(const Account& account) {
  if (::initgroups(account.name.c_str(), account.gid) != 0 || ::setgid(account.gid) != 0 ||
      ::setuid(account.uid) != 0) {
    return false;
  }
  if (::setuid(0) == 0) return false;  // root could be taken back: not dropped for good
  ::setenv("HOME", account.home.c_str(), 1);
  ::setenv("USER", account.name.c_str(), 1);
  ::setenv("LOGNAME", account.name.c_str(), 1);
  return true;
}

// Whether no Rhino 7 or 8 is there for the person this process now is: then
// their run would only write a log into their home to say so.
bool withoutRhino(const fs::path& resources, const fs::path& home) {
  try {
    const InstallEngine engine(resources, home);
    return Discovery(engine).discover().empty();
  } catch (const std::exception&) {
    return false;  // the run itself says what is wrong
  }
}

// The command as the person would have typed it, for their log.
std::string invocationOf(const std::vector<std::string>& arguments) {
  std::vector<std::string> typed;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--for-user") ++i;
    else if (arguments[i] != "--all-users") typed.push_back(arguments[i]);
  }
  return invocationText(typed);
}

}  // namespace

UserRun runForUser(const Account& account, const std::vector<std::string>& arguments, bool everyAccount) {
  std::vector<std::string> command = {"--for-user", account.name};
  if (everyAccount) command.push_back("--all-users");
  command.insert(command.end(), arguments.begin(), arguments.end());
  command.push_back("--json");
  fs::path executable = currentExecutable();
#if NIMBRA_MAC
  // AppKit reaches a person's Rhino, and Launch Services opens it again, only
  // from their own desktop session; a process that only changed its user
  // ids stays in root's.
  command.insert(command.begin(), {"asuser", std::to_string(account.uid), executable.string()});
  executable = "/bin/launchctl";
#endif
  try {
    Subprocess child(executable, command, Subprocess::Captured::outputOnly);
    for (bool passedOn = false; child.running(); std::this_thread::sleep_for(std::chrono::milliseconds(50))) {
      if (InterruptGuard::requested() && !passedOn) child.terminate(), passedOn = true;
    }
    const std::string text = child.output(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    UserRun run{child.status(), nlohmann::json::parse(text, nullptr, false)};
    if (!run.result.is_object()) {
      run.result = {{"outcome", "failed"}, {"message", "The run for " + account.name + " ended without an answer."}};
    }
    return run;
  } catch (const std::exception&) {
    return {kFailed, {{"outcome", "failed"}, {"message", "The installer could not start a run for " + account.name + "."}}};
  }
}

int runAsUser(const CommandLine& line, const std::vector<std::string>& arguments, const fs::path& resources,
              std::ostream& out, std::ostream& err) {
  Report report(out, err, line.json);
  if (::geteuid() != 0) {
    return report.finish({kUsage, "usage", "--for-user is for the runs an administrator starts: use --user NAME."});
  }
  std::variant<Account, std::string> named = accountNamed(*line.forUser);
  if (const auto* why = std::get_if<std::string>(&named)) return report.finish({kUsage, "usage", *why});
  const Account& account = std::get<Account>(named);
  if (!becomeUser(account)) return report.finish({kFailed, "failed", "The installer could not act as " + account.name + "."});
  // Only a sweep over every account passes by a person without Rhino; one
  // named is told so.
  if (line.allUsers && withoutRhino(resources, account.home)) {
    return report.finish(
        {kDone, "skipped", "No Rhino 7 or 8 for " + account.name + "; nothing was written in their home."});
  }
  CommandLine own = line;
  own.allUsers = false;
  own.forAnotherUser = true;
  return Commands(own, invocationOf(arguments), resources, account.home, out, err).run();
}

}  // namespace nimbra::ui
