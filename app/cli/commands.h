#pragma once

// The commands of the command line, each on one engine: what they print and
// the exit status they end with.

#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/command_line.h"
#include "app/install_flow.h"

namespace nimbra::ui {

class Commands {
 public:
  // invocation: the arguments as given, for the install log.
  Commands(const CommandLine& line, std::string invocation, std::filesystem::path resources,
           std::filesystem::path home, std::ostream& out, std::ostream& err);
  int run();

 private:
  int runCommand();
  int list();
  int transact(Operation operation);
  int recover();
  // The listed targets and those the command names; an exit status when the
  // naming fails.
  std::optional<int> choose(std::vector<RhinoTarget>& listed, std::vector<RhinoTarget>& chosen);
  int waitForFlow(Operation operation, const std::vector<RhinoTarget>& chosen);
  // Reports a refusal or failure: the sentence on standard error, or the
  // JSON object on standard output.
  int fail(int status, const std::string& outcome, const std::string& message);
  void printJson(const std::string& outcome, const std::string& message, const std::vector<RhinoTarget>& targets,
                 const std::optional<std::filesystem::path>& backup);

  const CommandLine& line_;
  std::string invocation_;
  std::string outcome_;  // the last sentence reported, for the log's last line
  std::filesystem::path resources_;
  std::filesystem::path home_;
  std::ostream& out_;
  std::ostream& err_;
  std::unique_ptr<InstallEngine> engine_;
};

}  // namespace nimbra::ui
