#pragma once

#include <sys/types.h>

#include <filesystem>
#include <vector>

namespace nimbra {

// A process of the current user whose executable lies inside an
// application bundle: <X>.app/Contents/MacOS/<name>.
struct RunningApplication {
  pid_t pid = 0;
  std::filesystem::path bundle;  // the <X>.app folder
};

// The current user's running applications, from /proc.
std::vector<RunningApplication> runningApplications();

// Whether pid has ended but is not yet reaped by its parent (a zombie):
// it still answers signal probes, yet runs no more.
bool hasEnded(pid_t pid);

// Asks the process to quit, the ordinary way (SIGTERM); never forces it.
void requestQuit(pid_t pid);

}  // namespace nimbra
