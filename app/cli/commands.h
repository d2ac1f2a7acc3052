#pragma once

// The commands of the command line, each on one engine: what they print and
// the exit status they end with. Every outcome goes through one Report.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "app/cli/command_line.h"
#include "app/cli/report.h"
#include "app/install_flow.h"

namespace nimbra::ui {

// The exit status and the report's word for each outcome of the install flow.
Report::Outcome reportOf(const InstallFlow::Outcome& outcome);
// The same for a command's failure outside the flow, by its kind:
// another installation holding the lock is worth trying again later.
Report::Outcome failureOf(const std::exception& error);
// "[2/5] Installing Nimbra for Rhino 7…": the engine's step, and of how many.
std::string stepText(const ProgressStep& step);

class Commands {
 public:
  // invocation: the arguments as given, for the install log.
  Commands(const CommandLine& line, std::string invocation, std::filesystem::path resources,
           std::filesystem::path home, std::ostream& out, std::ostream& err);
  int run();

 private:
  int runCommand();
  int list();
  int check();
  // --check --restore: which backup a restore would put back, or why it
  // would change nothing, or its refusal.
  int checkRestore(const InstallFlow::Choice& choice);
  int recover();
  // --install, --uninstall or --restore: the operation for the Rhinos
  // chosen, through the install flow.
  int attempt(Operation operation);
  // --keep-backups, after a command that ended status (or alone: kDone).
  int keepBackups(int status);
  // The Rhinos found and those the command names (--rhino-path in place of
  // the one found of its version; none named, every one), or why not.
  std::variant<InstallFlow::Choice, InstallFlow::Outcome> choose(Operation operation) const;
  // Each target with the version installed in it now.
  std::vector<Report::Target> described(const std::vector<RhinoTarget>& targets) const;

  const CommandLine& line_;
  std::string invocation_;
  std::filesystem::path resources_;
  std::filesystem::path home_;
  std::ostream& err_;
  Report report_;
  std::unique_ptr<InstallEngine> engine_;
};

}  // namespace nimbra::ui
