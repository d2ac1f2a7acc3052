#include "app/cli/all_users.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <iostream>
#include <nlohmann/json.hpp>
#include <variant>

#include "app/cli/interrupt_guard.h"
#include "app/cli/report.h"
#include "app/cli/user_run.h"
#include "engine/install_log.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/own_locations.h"
#include "engine/rhino_conventions.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

// Which status a summary reports when users' runs end differently.
constexpr std::array<int, 6> kSeverity = {kFailed, kUsage, kRhinoRunning, kAnotherInstallation, kNoRhino, kWouldChange};

// The administrator's own record of a run for several users, in the
// administrator's log; kept only where the home folder is the
// administrator's, so that nothing root-owned lands in a person's home.
std::optional<InstallLog> administratorsLog() {
  const fs::path home = homeFolder();
  struct stat info {};
  if (::stat(home.c_str(), &info) != 0 || info.st_uid != ::geteuid()) return std::nullopt;
  return std::optional<InstallLog>(std::in_place, FileManager::standard(), home / rhino::kSupportFolder / "Logs");
}

}  // namespace

int mostSevere(const std::vector<int>& statuses) {
  for (const int severe : kSeverity) {
    if (std::find(statuses.begin(), statuses.end(), severe) != statuses.end()) return severe;
  }
  // A status of no known kind (a child that could not even start) is a failure.
  const bool unknown = std::any_of(statuses.begin(), statuses.end(), [](int status) { return status != kDone; });
  return unknown ? kFailed : kDone;
}

namespace {

// The accounts the command line names, or why one of them cannot be used.
std::variant<std::vector<Account>, std::string> chosenAccounts(const CommandLine& line) {
  std::vector<Account> accounts;
  if (line.allUsers) accounts = loginAccounts();
  for (const std::string& name : line.users) {
    std::variant<Account, std::string> account = accountNamed(name);
    if (const auto* why = std::get_if<std::string>(&account)) return *why;
    accounts.push_back(std::get<Account>(std::move(account)));
  }
  return accounts;
}

// Each user's own options: those given, less the choice of users and --json
// (each user's run answers in JSON; runForUser adds it).
std::vector<std::string> ownArguments(const std::vector<std::string>& arguments) {
  std::vector<std::string> own;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--user") ++i;
    else if (arguments[i] != "--all-users" && arguments[i] != "--json") own.push_back(arguments[i]);
  }
  return own;
}

// What each user's run ended with, in the accounts' order.
struct Runs {
  nlohmann::json users = nlohmann::json::array();
  std::vector<int> statuses;
  std::size_t skipped = 0;
};

Runs runEach(const std::vector<Account>& accounts, const std::vector<std::string>& own, bool everyAccount,
             Report& report, const std::optional<InstallLog>& log) {
  Runs runs;
  for (const Account& account : accounts) {
    // Asked to stop, it starts no one else's run: each would be stopped at once.
    UserRun run = InterruptGuard::requested()
                      ? UserRun{kFailed, {{"outcome", "cancelled"}, {"message", "Not run: Nimbra Setup was asked to stop."}}}
                      : runForUser(account, own, everyAccount);
    const std::string outcome = run.result.value("outcome", "failed");
    const std::string message = run.result.value("message", "");
    runs.skipped += outcome == "skipped";
    report.line(account.name + "\t" + outcome + "\t" + message);
    // What each of their Rhinos holds now, a line each, for a script to read.
    for (const nlohmann::json& target : run.result.value("targets", nlohmann::json::array())) {
      const nlohmann::json version = target.value("installedVersion", nlohmann::json());
      report.line(account.name + "\tRhino " + std::to_string(target.value("major", 0)) + "\t" +
                  installedText(version.is_string() ? std::optional(version.get<std::string>()) : std::nullopt));
    }
    if (log) log->write(account.name + ": exit status " + std::to_string(run.status) + ": " + message);
    run.result["user"] = account.name;
    run.result["exitStatus"] = run.status;
    runs.users.push_back(std::move(run.result));
    runs.statuses.push_back(run.status);
  }
  return runs;
}

// "3 users, 1 done, 1 not, 1 without Rhino 7 or 8, passed by."
std::string summaryOf(const Runs& runs) {
  const std::size_t count = runs.statuses.size();
  const auto failed = static_cast<std::size_t>(
      std::count_if(runs.statuses.begin(), runs.statuses.end(), [](int status) { return status != kDone; }));
  return std::to_string(count) + " user" + (count == 1 ? "" : "s") + ", " +
         std::to_string(count - failed - runs.skipped) + " done, " + std::to_string(failed) + " not" +
         (runs.skipped == 0 ? "" : ", " + std::to_string(runs.skipped) + " without Rhino 7 or 8, passed by") + ".";
}

}  // namespace

int runForUsers(const CommandLine& line, const std::vector<std::string>& arguments, std::ostream& out,
                std::ostream& err) {
  const InterruptGuard guard;  // each user's run holds its own; this one keeps the summary
  Report report(out, err, line.json);
  if (::geteuid() != 0) {
    return report.finish({kUsage, "usage",
                          "Installing for other users needs administrator rights: run it as root, for example with "
                          "sudo."});
  }
  std::variant<std::vector<Account>, std::string> accounts = chosenAccounts(line);
  if (const auto* why = std::get_if<std::string>(&accounts)) return report.finish({kUsage, "usage", *why});
  const std::optional<InstallLog> log = administratorsLog();
  if (log) log->begin("Nimbra Setup, command line as an administrator: " + invocationText(arguments));
  const Runs runs = runEach(std::get<std::vector<Account>>(accounts), ownArguments(arguments), line.allUsers, report, log);
  const int status = mostSevere(runs.statuses);
  const std::string summary = summaryOf(runs);
  if (log) log->end("Exit status " + std::to_string(status) + ": " + summary);
  if (!line.json) {
    out << summary << "\n";
    return status;
  }
  out << nlohmann::json{{"outcome", "all-users"}, {"message", summary}, {"users", runs.users}, {"exitStatus", status}}
             .dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
      << "\n";
  return status;
}

}  // namespace nimbra::ui
