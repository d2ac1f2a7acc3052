#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace nimbra {

// A process of the current user whose executable lies inside an
// application bundle: <X>.app/Contents/MacOS/<name>.
struct RunningApplication {
  pid_t pid = 0;
  std::filesystem::path bundle;  // the <X>.app folder
  // Its environment ("NAME=value"): what places a window in its user's
  // desktop session. Empty when it could not be read.
  std::vector<std::string> environment;
};

// The current user's running applications, from /proc.
std::vector<RunningApplication> runningApplications();

// True when a process with this id exists and has not ended: signal 0 finds
// it (or may not signal it, which it exists to refuse), and it is no zombie,
// which still answers signal probes yet runs no more. Never signals 0 or
// below, which address process groups.
bool isProcessRunning(pid_t pid);

// Asks the process to quit, the ordinary way (SIGTERM); never forces it.
void requestQuit(pid_t pid);

}  // namespace nimbra
