// What the stand-ins for a Mac's calls share. They are written from Apple's
// published sources (xnu, Libc, libproc, objc4) and answer as those do,
// errors included, over this machine's own processes and files. Each event a
// test may look for is added as a line to the file NIMBRA_MAC_CALLS names.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace nimbra::mac {

void record(const std::string& line);

// A process of this machine as xnu would see it; nothing when there is none
// (zombie: ended, not yet reaped).
struct Process {
  uid_t uid = 0;   // effective
  uid_t ruid = 0;  // real
  pid_t parent = 0;
  bool zombie = false;
  std::string name;
};
std::optional<Process> processOf(pid_t pid);

// The desktop session a process belongs to: a Mac's login session, which
// root's processes and a process that only changed its user ids are not in,
// and launchctl asuser enters. Here the environment says it
// (NIMBRA_MAC_SESSION=<uid>); nothing when it has none.
std::optional<std::string> sessionOf(pid_t pid);

}  // namespace nimbra::mac
