#pragma once

// Nimbra Setup without a window, for deployment tools and login scripts: the
// same engine, lock, checks and sentences as the window, driven by the same
// install flow. "--help" documents the commands, options and exit status.

#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/operation.h"

namespace nimbra::ui {

// Exit status.
inline constexpr int kDone = 0;
inline constexpr int kFailed = 1;
inline constexpr int kUsage = 2;
inline constexpr int kRhinoRunning = 3;
inline constexpr int kNoRhino = 4;
inline constexpr int kAnotherInstallation = 5;
inline constexpr int kWouldChange = 6;

struct CommandLine {
  enum class Command { none, install, uninstall, restore, recover, list, check, keepBackups, help, version };
  Command command = Command::none;
  std::vector<std::int64_t> majors;        // --rhino
  std::vector<std::filesystem::path> paths;  // --rhino-path
  double waitSeconds = 120;
  bool noQuit = false;
  bool noOpen = false;
  bool json = false;
  bool reinstall = false;  // install even where this release is installed whole
  std::optional<std::size_t> keepBackups;  // after the command, or alone
  std::optional<std::filesystem::path> restoreFolder;  // --restore FOLDER; else the newest complete one
  // With --check: the command it asks about (--check --uninstall, --check
  // --restore); an install when none is given.
  std::optional<Operation> checked;
  bool allUsers = false;           // --all-users: every person's account, each as its owner
  std::vector<std::string> users;  // --user NAME, for chosen ones
  // --for-user NAME: how an administrator's run starts each person's (see
  // user_run.h); not for people to type.
  std::optional<std::string> forUser;
  bool forAnotherUser = false;  // run by an administrator as this user (not an option)
};

// Who runs a command: the user, or an administrator as the user (--all-users).
enum class RunBy { user, administrator };

// Whether the arguments ask for the command line rather than the window: any
// argument at all, so that a mistyped one is told so instead of opening a
// window.
bool wantsCommandLine(int argc, char** argv);

// Why the window cannot open here (no display at all); nothing when it can.
std::optional<std::string> missingDisplay();

// What --help prints.
const char* commandLineHelp();

// The arguments as typed, joined by spaces, for a log.
std::string invocationText(const std::vector<std::string>& arguments);

// Reads the arguments (without the program's name); nothing, with the reason
// in problem, when they do not form a command.
std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string& problem);

// Runs the command with the payload in resources (for other users, as each of
// them: see all_users.h) for the user whose home is
// home; progress and outcome to out, refusals and failures to err. Returns
// the exit status.
int runCommandLine(const std::vector<std::string>& arguments, const std::filesystem::path& resources,
                   const std::filesystem::path& home, std::ostream& out, std::ostream& err, RunBy by = RunBy::user);

}  // namespace nimbra::ui
