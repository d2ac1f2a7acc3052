#pragma once

// The command line run by an administrator for the people of a machine: one
// run for each person, as that person (see user_run.h), and a summary.

#include <iosfwd>
#include <string>
#include <vector>

#include "app/cli/command_line.h"

namespace nimbra::ui {

// The status of several runs together: 0 when every one ended 0, else the
// first status met in the order of severity 1, 2, 3, 5, 4, 6.
int mostSevere(const std::vector<int>& statuses);

// Runs the command (arguments without --all-users and --user) for each chosen
// account as that user, one after another; a user's failure does not stop the
// others. With --all-users, a person without Rhino 7 or 8 is passed by, and
// nothing is written in their home. Prints a line per user (name, outcome,
// sentence) and a summary, or one JSON object with a list per user. Returns
// their mostSevere status.
int runForUsers(const CommandLine& line, const std::vector<std::string>& arguments, std::ostream& out,
                std::ostream& err);

}  // namespace nimbra::ui
