#pragma once

// The watch on a Rhino still quitting when the command line must end (a
// deployment tool's SIGTERM): a process of its own takes it over, in a
// session of its own and holding none of our descriptors, and opens that
// Rhino again if it quits within the grace the attempt had left. It leaves a
// line in the install log either way.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace nimbra::ui {

struct QuitWatch {
  struct Application {
    std::filesystem::path bundle;
    std::vector<pid_t> pids;               // its processes asked to quit
    std::vector<std::string> environment;  // to open it in its own session; none: ours
  };
  double seconds = 0;             // of grace left
  bool onlyInItsSession = false;  // run by an administrator: never opened without its environment
  std::vector<Application> applications;
};

// The hidden command that starts a watcher: its first argument.
inline constexpr const char* kReopenAfterQuit = "--reopen-after-quit";

// Starts the watcher for watch: this executable again, detached. Throws
// std::system_error when it cannot start.
void startQuitWatcher(const QuitWatch& watch);

// The watch the watcher's arguments describe; nothing when they do not.
std::optional<QuitWatch> quitWatchFrom(const std::vector<std::string>& arguments);

// The watcher itself: until every application has quit and been opened again,
// or the grace has passed. Returns 0.
int runQuitWatcher(const QuitWatch& watch, const std::filesystem::path& home);

}  // namespace nimbra::ui
