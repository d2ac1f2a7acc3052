#include "app/cli/all_users.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <variant>

#include "app/cli/interrupt_guard.h"
#include "app/cli/report.h"
#include "engine/install_engine.h"
#include "engine/install_log.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"
#include "engine/platform/subprocess.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

// Which status a summary reports when users' runs end differently.
constexpr std::array<int, 6> kSeverity = {kFailed, kUsage, kRhinoRunning, kAnotherInstallation, kNoRhino, kWouldChange};

// Why the account is not a person's that Nimbra can be installed for;
// nothing when it is one.
std::optional<std::string> notAPerson(const passwd& entry) {
  const std::string name = "\u201c" + std::string(entry.pw_name) + "\u201d";
  const std::string shell = entry.pw_shell != nullptr ? entry.pw_shell : "";
  std::error_code error;
  if (!isPersonId(entry.pw_uid)) {
    return name + " is a system account (user id " + std::to_string(entry.pw_uid) + "), not a person\u2019s.";
  }
  if (shell.ends_with("nologin") || shell.ends_with("/false")) return name + " cannot log in (its shell is " + shell + ").";
  if (entry.pw_dir == nullptr || !fs::is_directory(entry.pw_dir, error)) {
    return "The home folder of " + name + " (" + (entry.pw_dir != nullptr ? entry.pw_dir : "none") + ") does not exist.";
  }
  return std::nullopt;
}

bool isPerson(const passwd& entry) { return !notAPerson(entry); }

Account accountOf(const passwd& entry) { return {entry.pw_name, entry.pw_uid, entry.pw_gid, entry.pw_dir}; }

// The account of that name, or why it cannot be chosen.
std::variant<Account, std::string> accountNamed(const std::string& name) {
  const passwd* entry = ::getpwnam(name.c_str());
  if (entry == nullptr) return "There is no user named \u201c" + name + "\u201d on this machine.";
  if (const std::optional<std::string> why = notAPerson(*entry)) return *why;
  return accountOf(*entry);
}

// The administrator's own record of a run for several users, in the
// administrator's log; kept only where the home folder is the
// administrator's, so that nothing root-owned lands in a person's home.
std::optional<InstallLog> administratorsLog() {
  const fs::path home = homeFolder();
  struct stat info {};
  if (::stat(home.c_str(), &info) != 0 || info.st_uid != ::geteuid()) return std::nullopt;
  return std::optional<InstallLog>(std::in_place, FileManager::standard(), home / rhino::kSupportFolder / "Logs");
}

// Whether no Rhino 7 or 8 is there for the user this process now is: then
// their run would only write a log into their home to say so.
bool withoutRhino(const fs::path& resources, const fs::path& home) {
  try {
    return InstallEngine(resources, home).discover().empty();
  } catch (const std::exception&) {
    return false;  // the run itself says what is wrong
  }
}

// In the child: becomes the user for good, groups included. Nothing of the
// user's is touched before this.
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

struct UserRun {
  int status = kFailed;
  nlohmann::json result;  // the user's own JSON object
};

UserRun runAs(const Account& account, std::vector<std::string> arguments, const fs::path& resources,
             bool skipWithoutRhino) {
  int pipe[2];
  try {
    makeCloseOnExecPipe(pipe);
  } catch (const std::system_error&) {
    return {kFailed, {{"message", "The installer could not start a run for the user."}}};
  }
  std::cout.flush();
  std::cerr.flush();
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipe[0]);
    std::ostringstream out, err;
    int status = kFailed;
    if (!becomeUser(account)) {
      out << nlohmann::json{{"outcome", "failed"},
                            {"message", "The installer could not act as " + account.name + "."},
                            {"exitStatus", kFailed}}.dump();
    } else if (skipWithoutRhino && withoutRhino(resources, account.home)) {
      status = kDone;
      out << nlohmann::json{{"outcome", "skipped"},
                            {"message", "No Rhino 7 or 8 for " + account.name + "; nothing was written in their home."},
                            {"exitStatus", kDone}}.dump();
    } else {
      status = runCommandLine(arguments, resources, account.home, out, err, RunBy::administrator);
    }
    const std::string text = out.str();
    for (std::size_t done = 0; done < text.size();) {
      const ssize_t written = ::write(pipe[1], text.data() + done, text.size() - done);
      if (written <= 0 && errno != EINTR) break;
      if (written > 0) done += static_cast<std::size_t>(written);
    }
    ::_exit(status);
  }
  ::close(pipe[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) != 0;) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
    else if (errno != EINTR) break;
  }
  ::close(pipe[0]);
  int wait = 0;
  while (child > 0 && ::waitpid(child, &wait, 0) < 0 && errno == EINTR) {
  }
  UserRun run{child > 0 && WIFEXITED(wait) ? WEXITSTATUS(wait) : kFailed, nlohmann::json::parse(text, nullptr, false)};
  if (!run.result.is_object()) run.result = {{"message", "The run for " + account.name + " ended without an answer."}};
  return run;
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

std::vector<Account> loginAccounts() {
  std::vector<Account> accounts;
  ::setpwent();
  while (const passwd* entry = ::getpwent()) {
    if (isPerson(*entry)) accounts.push_back(accountOf(*entry));
  }
  ::endpwent();
  return accounts;
}

int runForUsers(const CommandLine& line, const std::vector<std::string>& arguments, const fs::path& resources,
                std::ostream& out, std::ostream& err) {
  const InterruptGuard guard;  // each user's run holds its own; this one keeps the summary
  Report report(out, err, line.json);
  if (::geteuid() != 0) {
    return report.finish({kUsage, "usage",
                          "Installing for other users needs administrator rights: run it as root, for example with "
                          "sudo."});
  }
  std::vector<Account> accounts;
  if (line.allUsers) accounts = loginAccounts();
  for (const std::string& name : line.users) {
    std::variant<Account, std::string> account = accountNamed(name);
    if (const auto* why = std::get_if<std::string>(&account)) return report.finish({kUsage, "usage", *why});
    accounts.push_back(std::get<Account>(std::move(account)));
  }
  std::string invocation;
  for (const std::string& argument : arguments) invocation += (invocation.empty() ? "" : " ") + argument;
  const std::optional<InstallLog> log = administratorsLog();
  if (log) log->begin("Nimbra Setup, command line as an administrator: " + invocation);
  // Each user's run answers in JSON; their own options otherwise unchanged.
  std::vector<std::string> own;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--all-users") continue;
    if (arguments[i] == "--user") {
      ++i;
      continue;
    }
    if (arguments[i] != "--json") own.push_back(arguments[i]);
  }
  own.push_back("--json");

  nlohmann::json users = nlohmann::json::array();
  std::vector<int> statuses;
  std::size_t skipped = 0;
  for (const Account& account : accounts) {
    // Only a sweep over every account passes by a person without Rhino; one
    // named is told so.
    UserRun run = runAs(account, own, resources, line.allUsers);
    const std::string outcome = run.result.value("outcome", "failed");
    const std::string message = run.result.value("message", "");
    skipped += outcome == "skipped";
    report.line(account.name + "\t" + outcome + "\t" + message);
    if (log) log->write(account.name + ": exit status " + std::to_string(run.status) + ": " + message);
    run.result["user"] = account.name;
    run.result["exitStatus"] = run.status;
    users.push_back(std::move(run.result));
    statuses.push_back(run.status);
  }
  const int status = mostSevere(statuses);
  const auto failed = std::count_if(statuses.begin(), statuses.end(), [](int s) { return s != kDone; });
  const std::string summary =
      std::to_string(accounts.size()) + " user" + (accounts.size() == 1 ? "" : "s") + ", " +
      std::to_string(statuses.size() - static_cast<std::size_t>(failed) - skipped) + " done, " +
      std::to_string(failed) + " not" +
      (skipped == 0 ? "" : ", " + std::to_string(skipped) + " without Rhino 7 or 8, passed by") + ".";
  if (log) log->end("Exit status " + std::to_string(status) + ": " + summary);
  if (!line.json) {
    out << summary << "\n";
    return status;
  }
  out << nlohmann::json{{"outcome", "all-users"}, {"message", summary}, {"users", users}, {"exitStatus", status}}.dump(
             2, ' ', false, nlohmann::json::error_handler_t::replace)
      << "\n";
  return status;
}

}  // namespace nimbra::ui
