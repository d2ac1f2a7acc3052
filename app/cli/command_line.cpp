#include "app/cli/command_line.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ostream>

#if NIMBRA_MAC
#include <dlfcn.h>
#endif

#include "app/cli/all_users.h"
#include "app/cli/commands.h"
#include "app/cli/option_numbers.h"
#include "app/cli/user_run.h"

namespace nimbra::ui {

namespace {

// Beyond these a number is a typo, not a wish: a day of waiting, a thousand backups.
constexpr std::uint64_t kLongestWait = 86400;
constexpr std::uint64_t kMostBackupsKept = 1000;

constexpr const char* kHelp = R"(Usage: "Nimbra Setup" COMMAND [OPTIONS]

Installs the Nimbra plug-in for Grasshopper into Rhino 7 and Rhino 8 without a
window, as the window does: the same checks, backups and messages.

Commands:
  --install          install into every Rhino found, or into those named below;
                     where this version is installed whole, nothing is done
  --uninstall        move the installed copies into a new backup folder
  --restore [FOLDER] put back what a backup folder holds (the newest complete one
                     when none is named), after moving what is there now into a
                     new backup folder
  --check            say, changing nothing, whether an install would change
                     anything: up to date, older, newer, changed, not installed
  --recover          only put back an installation that was cut off
  --list             list the Rhino installations found and what is installed
  --help             show this text
  --version          show the Nimbra version this installer carries

Options:
  --rhino 7|8        only this Rhino version (may be given twice)
  --rhino-path PATH  the Rhino application at PATH (a folder ending in .app)
  --wait SECONDS     how long to wait for a running Rhino to quit (default 120)
  --no-quit          refuse at once while Rhino runs, instead of asking it to quit
  --no-open          leave Rhino closed after an install (default: open again what
                     was quit); an attempt that installs nothing always opens it again
  --reinstall        install even where this version is installed whole
  --keep-backups N   afterwards (or alone) remove the oldest finished backup
                     folders beyond the newest N; never one recovery may need
  --json             print one JSON object with the outcome instead of progress lines
  --all-users        as root: run the command for every person's account of the
                     machine, each in a process of that user's own
  --user NAME        as root: the same for this user only (may be repeated)

Exit status:
  0  done (installed, uninstalled, recovered or listed), or nothing to do
  1  refused or failed: the reason is on standard error
  2  the command line is not right
  3  Rhino is still running after the wait (at once with --no-quit)
  4  no Rhino 7 or 8 was found
  5  another installation is running: try again later
  6  --check found something an install would change
With --all-users or --user: 0 when every user's run ended 0, else the first
of 1, 2, 3, 5, 4, 6 that a user's run ended with.

Every install, uninstall and recovery is recorded in
~/Library/Application Support/Nimbra/Logs/install.log.
)";

bool setCommand(CommandLine& line, CommandLine::Command command, std::string& problem) {
  if (line.command != CommandLine::Command::none) {
    problem = "give one command only";
    return false;
  }
  line.command = command;
  return true;
}

}  // namespace

bool wantsCommandLine(int argc, char**) { return argc > 1; }

namespace {

#if NIMBRA_MAC
// A command run over ssh or by a deployment tool has no window server: the
// security session says whether this process may draw (Security framework,
// reached at run time, so the command line links only libSystem).
bool hasWindowServer() {
  using SessionGetInfo = std::int32_t (*)(std::uint32_t session, std::uint32_t* id, std::uint32_t* attributes);
  constexpr std::uint32_t kCallerSession = 0xFFFFFFFF;  // callerSecuritySession
  constexpr std::uint32_t kGraphicAccess = 0x0010;      // sessionHasGraphicAccess
  void* security = ::dlopen("/System/Library/Frameworks/Security.framework/Security", RTLD_LAZY | RTLD_LOCAL);
  const auto get = security != nullptr ? reinterpret_cast<SessionGetInfo>(::dlsym(security, "SessionGetInfo")) : nullptr;
  std::uint32_t id = 0, attributes = 0;
  return get != nullptr && get(kCallerSession, &id, &attributes) == 0 && (attributes & kGraphicAccess) != 0;
}
#else
bool hasWindowServer() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}
#endif

}  // namespace

std::optional<std::string> missingDisplay() {
  if (hasWindowServer()) return std::nullopt;
  return "Nimbra Setup has no display to show its window on. Without one, give it a command: run it with --help "
         "to see them.";
}

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string& problem) {
  using Command = CommandLine::Command;
  CommandLine line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> std::optional<std::string> {
      // An option in its place means the value was left out: never take it as one.
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) return arguments[++i];
      problem = argument + " needs a value";
      return std::nullopt;
    };
    bool ok = true;
    if (argument == "--install") ok = setCommand(line, Command::install, problem);
    else if (argument == "--uninstall") ok = setCommand(line, Command::uninstall, problem);
    else if (argument == "--recover") ok = setCommand(line, Command::recover, problem);
    else if (argument == "--list") ok = setCommand(line, Command::list, problem);
    else if (argument == "--check") ok = setCommand(line, Command::check, problem);
    else if (argument == "--restore") {
      ok = setCommand(line, Command::restore, problem);
      if (i + 1 < arguments.size() && !arguments[i + 1].starts_with("--")) line.restoreFolder = arguments[++i];
    }
    else if (argument == "--reinstall") line.reinstall = true;
    else if (argument == "--all-users") line.allUsers = true;
    else if (argument == "--user") {
      const std::optional<std::string> name = value();
      ok = name.has_value();
      if (ok) line.users.push_back(*name);
    }
    else if (argument == "--for-user") {
      const std::optional<std::string> name = value();
      ok = name.has_value();
      if (ok) line.forUser = *name;
    }
    else if (argument == "--help") ok = setCommand(line, Command::help, problem);
    else if (argument == "--version") ok = setCommand(line, Command::version, problem);
    else if (argument == "--no-quit") line.noQuit = true;
    else if (argument == "--no-open") line.noOpen = true;
    else if (argument == "--json") line.json = true;
    else if (argument == "--keep-backups") {
      const std::optional<std::string> count = value();
      const std::optional<std::uint64_t> parsed = count ? parseWholeNumber(*count, kMostBackupsKept) : std::nullopt;
      ok = parsed.has_value();
      if (count && !ok) {
        problem = "--keep-backups takes a whole number of backup folders from 0 to " + std::to_string(kMostBackupsKept) +
                  ", not \"" + *count + "\"";
      }
      if (ok) line.keepBackups = *parsed;
    } else if (argument == "--rhino") {
      const std::optional<std::string> major = value();
      ok = major && (*major == "7" || *major == "8");
      if (major && !ok) problem = "--rhino takes 7 or 8, not \"" + *major + "\"";
      if (ok) line.majors.push_back(*major == "7" ? 7 : 8);
    } else if (argument == "--rhino-path") {
      const std::optional<std::string> path = value();
      ok = path.has_value();
      if (ok) line.paths.emplace_back(*path);
    } else if (argument == "--wait") {
      const std::optional<std::string> seconds = value();
      const std::optional<double> parsed = seconds ? parseSeconds(*seconds, kLongestWait) : std::nullopt;
      ok = parsed.has_value();
      if (seconds && !ok) {
        problem = "--wait takes a number of seconds from 0 to " + std::to_string(kLongestWait) + ", not \"" + *seconds + "\"";
      }
      if (ok) line.waitSeconds = *parsed;
    } else {
      problem = "unknown option \"" + argument + "\"";
      ok = false;
    }
    if (!ok) return std::nullopt;
  }
  if (line.command == Command::none && line.keepBackups) line.command = Command::keepBackups;
  const bool pruning = line.command == Command::install || line.command == Command::uninstall ||
                       line.command == Command::restore || line.command == Command::keepBackups;
  if (line.keepBackups && !pruning) {
    problem = "--keep-backups goes with --install, --uninstall or --restore, or alone";
    return std::nullopt;
  }
  const bool forUsers = line.allUsers || !line.users.empty();
  if (forUsers && (line.command == Command::help || line.command == Command::version)) {
    problem = "--all-users and --user go with a command that acts for each user";
    return std::nullopt;
  }
  if (line.command == Command::none) {
    problem = "say what to do: --install, --uninstall, --restore, --check, --recover or --list";
    return std::nullopt;
  }
  const bool chooses = !line.majors.empty() || !line.paths.empty();
  const bool choosing = line.command == Command::install || line.command == Command::uninstall ||
                        line.command == Command::check;
  if (chooses && !choosing) {
    problem = "--rhino and --rhino-path go with --install, --uninstall or --check";
    return std::nullopt;
  }
  return line;
}

int runCommandLine(const std::vector<std::string>& arguments, const std::filesystem::path& resources,
                   const std::filesystem::path& home, std::ostream& out, std::ostream& err, RunBy by) {
  std::string problem;
  std::optional<CommandLine> line = parseCommandLine(arguments, problem);
  if (!line) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    const std::string sentence = "Nimbra Setup: " + problem + ". Run it with --help to see the commands and options.";
    return Report(out, err, json).finish({kUsage, "usage", sentence});
  }
  if (line->command == CommandLine::Command::help) {
    out << kHelp;
    return kDone;
  }
  if (line->forUser) return runAsUser(*line, arguments, resources, out, err);
  if (line->allUsers || !line->users.empty()) return runForUsers(*line, arguments, out, err);
  line->forAnotherUser = by == RunBy::administrator;
  std::string invocation;
  for (const std::string& argument : arguments) invocation += (invocation.empty() ? "" : " ") + argument;
  return Commands(*line, invocation, resources, home, out, err).run();
}

}  // namespace nimbra::ui
