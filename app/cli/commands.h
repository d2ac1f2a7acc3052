#pragma once

// The commands of the command line, each on one engine: what they print and
// the exit status they end with. Every outcome goes through one Report.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "app/cli/report.h"
#include "app/install_flow.h"

namespace nimbra::ui {

// The exit status and the report's word for each outcome of the install flow.
Report::Outcome reportOf(Operation operation, const InstallFlow::Outcome& outcome);

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
  int recover();
  int install();
  int uninstall();
  int restore();
  // --keep-backups, after a command that ended status (or alone: kDone).
  int keepBackups(int status);
  // The listed targets and those the command names; an exit status when the
  // naming fails.
  std::optional<int> choose(std::vector<RhinoTarget>& listed, std::vector<RhinoTarget>& chosen);
  // Runs the operation for chosen (of listed) through the install flow.
  int runFlow(Operation operation, const std::vector<RhinoTarget>& chosen, std::size_t listed,
              const std::optional<std::filesystem::path>& restoreFrom = std::nullopt);
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
