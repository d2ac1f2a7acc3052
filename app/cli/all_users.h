#pragma once

// The command line run by an administrator for the people of a machine: each
// user's work in a child process that has become that user (ids and groups)
// before it touches anything, so that every file it makes is the user's own
// and nothing the user wrote can steer a root process.

#include <sys/types.h>

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/command_line.h"

namespace nimbra::ui {

struct Account {
  std::string name;
  uid_t uid = 0;
  gid_t gid = 0;
  std::filesystem::path home;
};

// The people's accounts: entries of the password database with an ordinary
// user id (1000 and up here, 501 and up on a Mac, not the nobody account), a login shell, and a home
// folder that exists. With --all-users, a person without Rhino 7 or 8 is
// passed by, and nothing is written in their home.
std::vector<Account> loginAccounts();

// The status of several runs together: 0 when every one ended 0, else the
// first status met in the order of severity 1, 2, 3, 5, 4, 6.
int mostSevere(const std::vector<int>& statuses);

// Runs the command (arguments without --all-users and --user) for each chosen
// account as that user, one after another; a user's failure does not stop the
// others. Prints a line per user (name, outcome, sentence) and a summary, or
// one JSON object with a list per user. Returns their mostSevere status.
int runForUsers(const CommandLine& line, const std::vector<std::string>& arguments,
                const std::filesystem::path& resources, std::ostream& out, std::ostream& err);

}  // namespace nimbra::ui
