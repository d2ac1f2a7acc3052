#pragma once

// One person's run of a command for an administrator: the installer started
// again as root (on a Mac in that person's desktop session, through
// launchctl asuser, where their Rhino can be asked to quit and opened again),
// told whom to become (--for-user NAME). It becomes them, groups included,
// before it touches anything, so that every file it makes is theirs and
// nothing they wrote can steer a root process.

#include <filesystem>
#include <iosfwd>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/cli/accounts.h"
#include "app/cli/command_line.h"

namespace nimbra::ui {

struct UserRun {
  int status = kFailed;
  nlohmann::json result;  // the person's own JSON object
};

// Root's side: runs the command (arguments, to which --json is added) for
// account and waits for it, passing on a request to stop. everyAccount: part
// of a sweep over every account, which passes by a person without Rhino.
UserRun runForUser(const Account& account, const std::vector<std::string>& arguments, bool everyAccount);

// The started run's side (--for-user NAME, as root): becomes that person and
// runs the command as theirs. Returns the exit status.
int runAsUser(const CommandLine& line, const std::vector<std::string>& arguments,
              const std::filesystem::path& resources, std::ostream& out, std::ostream& err);

}  // namespace nimbra::ui
