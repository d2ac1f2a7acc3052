// How the arguments become a command: each option read in turn, then the
// combinations that make no sense refused, each with the sentence that says why.

#include <cstdint>

#include "app/cli/command_line.h"
#include "app/cli/option_numbers.h"

namespace nimbra::ui {

namespace {

using Command = CommandLine::Command;

// Beyond these a number is a typo, not a wish: a day of waiting, a thousand backups.
constexpr std::uint64_t kLongestWait = 86400;
constexpr std::uint64_t kMostBackupsKept = 1000;

// The arguments, read one by one; problem says what went wrong first.
class Reader {
 public:
  Reader(const std::vector<std::string>& arguments, std::string& problem) : arguments_(arguments), problem_(problem) {}

  std::optional<CommandLine> read() {
    for (; i_ < arguments_.size(); ++i_) {
      if (!readOne(arguments_[i_])) return std::nullopt;
    }
    return line_;
  }

 private:
  bool readOne(const std::string& argument) {
    if (argument == "--install") return set(Command::install);
    if (argument == "--uninstall") return set(Command::uninstall);
    if (argument == "--recover") return set(Command::recover);
    if (argument == "--list") return set(Command::list);
    if (argument == "--check") return set(Command::check);
    if (argument == "--help") return set(Command::help);
    if (argument == "--version") return set(Command::version);
    if (argument == "--restore") {
      if (hasValue()) line_.restoreFolder = arguments_[++i_];
      return set(Command::restore);
    }
    if (bool* flag = flagNamed(argument)) return *flag = true;
    return readValue(argument);
  }

  bool* flagNamed(const std::string& argument) {
    if (argument == "--reinstall") return &line_.reinstall;
    if (argument == "--all-users") return &line_.allUsers;
    if (argument == "--no-quit") return &line_.noQuit;
    if (argument == "--no-open") return &line_.noOpen;
    if (argument == "--json") return &line_.json;
    return nullptr;
  }

  // An option that takes a value.
  bool readValue(const std::string& argument) {
    const bool known = argument == "--user" || argument == "--for-user" || argument == "--keep-backups" ||
                       argument == "--rhino" || argument == "--rhino-path" || argument == "--wait";
    if (!known) return fail("unknown option \"" + argument + "\"");
    // An option in its place means the value was left out: never take it as one.
    if (!hasValue()) return fail(argument + " needs a value");
    const std::string& value = arguments_[++i_];
    if (argument == "--user") line_.users.push_back(value);
    else if (argument == "--for-user") line_.forUser = value;
    else if (argument == "--rhino-path") line_.paths.emplace_back(value);
    else if (argument == "--rhino") return readMajor(value);
    else if (argument == "--keep-backups") return readKept(value);
    else return readWait(value);
    return true;
  }

  bool readMajor(const std::string& value) {
    if (value != "7" && value != "8") return fail("--rhino takes 7 or 8, not \"" + value + "\"");
    line_.majors.push_back(value == "7" ? 7 : 8);
    return true;
  }

  bool readKept(const std::string& value) {
    const std::optional<std::uint64_t> count = parseWholeNumber(value, kMostBackupsKept);
    if (!count) {
      return fail("--keep-backups takes a whole number of backup folders from 0 to " +
                  std::to_string(kMostBackupsKept) + ", not \"" + value + "\"");
    }
    line_.keepBackups = *count;
    return true;
  }

  bool readWait(const std::string& value) {
    const std::optional<double> seconds = parseSeconds(value, kLongestWait);
    if (!seconds) {
      return fail("--wait takes a number of seconds from 0 to " + std::to_string(kLongestWait) + ", not \"" + value +
                  "\"");
    }
    line_.waitSeconds = *seconds;
    return true;
  }

  bool set(Command command) {
    if (line_.command == Command::none) {
      line_.command = command;
      return true;
    }
    // --check beside --install, --uninstall or --restore asks what that one would change.
    const Command other = line_.command == Command::check ? command : command == Command::check ? line_.command : Command::none;
    const std::optional<Operation> operation = other == Command::install     ? std::optional(Operation::install)
                                               : other == Command::uninstall ? std::optional(Operation::uninstall)
                                               : other == Command::restore   ? std::optional(Operation::restore)
                                                                             : std::nullopt;
    if (!operation || line_.checked) return fail("give one command only");
    line_.command = Command::check;
    line_.checked = operation;
    return true;
  }
  bool hasValue() const { return i_ + 1 < arguments_.size() && !arguments_[i_ + 1].starts_with("--"); }
  bool fail(std::string problem) {
    problem_ = std::move(problem);
    return false;
  }

  const std::vector<std::string>& arguments_;
  std::string& problem_;
  CommandLine line_;
  std::size_t i_ = 0;
};

// What the options read make no sense together, if anything.
std::optional<std::string> combinationProblem(const CommandLine& line) {
  const bool pruning = line.command == Command::install || line.command == Command::uninstall ||
                       line.command == Command::restore || line.command == Command::keepBackups;
  if (line.keepBackups && !pruning) return "--keep-backups goes with --install, --uninstall or --restore, or alone";
  const bool forUsers = line.allUsers || !line.users.empty();
  if (forUsers && (line.command == Command::help || line.command == Command::version)) {
    return "--all-users and --user go with a command that acts for each user";
  }
  if (line.command == Command::none) return "say what to do: --install, --uninstall, --restore, --check, --recover or --list";
  const bool chooses = !line.majors.empty() || !line.paths.empty();
  const bool choosing = line.command == Command::install || line.command == Command::uninstall ||
                        line.command == Command::check;
  if (chooses && (!choosing || line.checked == Operation::restore)) {
    return "--rhino and --rhino-path go with --install, --uninstall or --check";
  }
  return std::nullopt;
}

}  // namespace

std::optional<CommandLine> parseCommandLine(const std::vector<std::string>& arguments, std::string& problem) {
  std::optional<CommandLine> line = Reader(arguments, problem).read();
  if (!line) return std::nullopt;
  if (line->command == Command::none && line->keepBackups) line->command = Command::keepBackups;
  if (const std::optional<std::string> why = combinationProblem(*line)) {
    problem = *why;
    return std::nullopt;
  }
  return line;
}

}  // namespace nimbra::ui
