#include "app/cli/command_line.h"

#include <algorithm>
#include <ostream>

#include "app/cli/all_users.h"
#include "app/cli/commands.h"
#include "app/cli/quit_watch.h"
#include "app/cli/user_run.h"
#include "engine/platform/window_server.h"

namespace nimbra::ui {

bool wantsCommandLine(int argc, char**) { return argc > 1; }

std::optional<std::string> missingDisplay() {
  if (hasWindowServer()) return std::nullopt;
  return "Nimbra Setup has no display to show its window on. Without one, give it a command: run it with --help "
         "to see them.";
}

std::string invocationText(const std::vector<std::string>& arguments) {
  std::string invocation;
  for (const std::string& argument : arguments) invocation += (invocation.empty() ? "" : " ") + argument;
  return invocation;
}

int runCommandLine(const std::vector<std::string>& arguments, const std::filesystem::path& resources,
                   const std::filesystem::path& home, std::ostream& out, std::ostream& err, RunBy by) {
  if (!arguments.empty() && arguments[0] == kReopenAfterQuit) {
    const std::optional<QuitWatch> watch = quitWatchFrom(arguments);
    return watch ? runQuitWatcher(*watch, home) : kUsage;
  }
  std::string problem;
  std::optional<CommandLine> line = parseCommandLine(arguments, problem);
  if (!line) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    const std::string sentence = "Nimbra Setup: " + problem + ". Run it with --help to see the commands and options.";
    return Report(out, err, json).finish({kUsage, "usage", sentence});
  }
  if (line->command == CommandLine::Command::help) {
    out << commandLineHelp();
    return kDone;
  }
  if (line->forUser) return runAsUser(*line, arguments, resources, out, err);
  if (line->allUsers || !line->users.empty()) return runForUsers(*line, arguments, out, err);
  line->forAnotherUser = by == RunBy::administrator;
  return Commands(*line, invocationText(arguments), resources, home, out, err).run();
}

}  // namespace nimbra::ui
