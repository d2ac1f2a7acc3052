#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// A process of the current user whose executable lies inside an
// application bundle: <X>.app/Contents/MacOS/<name>.
struct RunningApplication {
  pid_t pid = 0;
  std::filesystem::path bundle;  // the <X>.app folder
  // Its environment ("NAME=value") where someone read it (environmentOf):
  // what places a window in its user's desktop session.
  std::vector<std::string> environment = {};
};

// The current user's running applications, their environments not read: from
// /proc on Linux; on a Mac from the kernel's process list (proc_listallpids,
// as long as the call says it is, proc_pidinfo, proc_pidpath).
std::vector<RunningApplication> runningApplications();

// A process's environment: /proc on Linux, its argument block (sysctl
// KERN_PROCARGS2) on a Mac, read into a buffer the size the kernel gives.
// Empty when it cannot be read (another user's, or gone).
std::vector<std::string> environmentOf(pid_t pid);

// The .app folder that holds executable as Contents/MacOS/<name>, if any.
std::optional<std::filesystem::path> bundleOf(const std::filesystem::path& executable);

// The "NAME=value" entries of a process's argument block as a Mac's
// KERN_PROCARGS2 gives it: the argument count (a native 32-bit integer), the
// executable's path, NUL padding, that many arguments, then the environment
// up to an empty entry (the padding before the kernel's own strings) or the
// block's end. Where the environment happens to end on an 8-byte boundary,
// no padding tells it from the kernel's strings that follow (ptr_munge=…),
// and those are read as entries too: nothing looks them up. Nothing for a
// block of any other form; at most 1 MB of entries.
std::vector<std::string> environmentFromArgumentBlock(std::string_view block);

// True when a process with this id exists and has not ended: signal 0 finds
// it (or may not signal it, which it exists to refuse), and it is no zombie,
// which still answers signal probes yet runs no more. Never signals 0 or
// below, which address process groups.
bool isProcessRunning(pid_t pid);

// Opens the application at bundle (an .app folder), detached from us: on
// Linux its executable in a session of its own, with environment when one is
// given (to open it in the desktop session whose environment that is); on a
// Mac through Launch Services (/usr/bin/open -a), in this process's own
// desktop session, which no environment changes (a run for another person
// is started in theirs). Throws when it cannot be opened, with what open
// said.
void openApplication(const std::filesystem::path& bundle, const std::vector<std::string>& environment);

// Asks the process to quit, the ordinary way, never forcing it: SIGTERM on
// Linux; on a Mac the quit Apple Event, sent by AppKit's
// NSRunningApplication to that very process, so that Rhino asks its user
// about unsaved work. True when the request reached it; false when the
// process is gone or cannot be reached: on a Mac, one outside this
// process's desktop session, or one that refuses.
bool requestQuit(pid_t pid);

}  // namespace nimbra
