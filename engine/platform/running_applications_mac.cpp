// Running applications on a Mac: the kernel's process list, a process's
// argument block for its environment, the quit Apple Event through AppKit,
// and Launch Services to open an application. AppKit is reached through the
// Objective-C runtime at run time, so the command line links only libSystem.

#include <dlfcn.h>
#include <libproc.h>
#include <signal.h>
#include <sys/proc_info.h>
#include <sys/sysctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "engine/platform/running_applications.h"
#include "engine/platform/subprocess.h"
#include "engine/platform/unicode.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// A zombie is found only when asked for (a non-zero argument): it has ended.
enum class Zombies { passedBy, found };

std::optional<proc_bsdinfo> processInfo(pid_t pid, Zombies zombies = Zombies::passedBy) {
  proc_bsdinfo info{};
  const std::uint64_t findZombies = zombies == Zombies::found ? 1 : 0;
  if (::proc_pidinfo(pid, PROC_PIDTBSDINFO, findZombies, &info, sizeof info) != static_cast<int>(sizeof info)) {
    return std::nullopt;
  }
  return info;
}

// Every process id, in a list as long as the kernel says it needs (it adds
// room for twenty more); a list that filled up is asked for again, larger.
std::vector<pid_t> allProcesses() {
  for (int room = ::proc_listallpids(nullptr, 0); room > 0; room *= 2) {
    std::vector<pid_t> pids(static_cast<std::size_t>(room));
    const int count = ::proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
    if (count <= 0) return {};
    if (count < room) return {pids.begin(), pids.begin() + count};
  }
  return {};
}

// The Objective-C runtime's entry points, from AppKit loaded at first use.
struct AppKit {
  using GetClass = void* (*)(const char*);
  using Selector = void* (*)(const char*);
  void* framework = ::dlopen("/System/Library/Frameworks/AppKit.framework/AppKit", RTLD_LAZY | RTLD_LOCAL);
  GetClass getClass = reinterpret_cast<GetClass>(::dlsym(RTLD_DEFAULT, "objc_getClass"));
  Selector selector = reinterpret_cast<Selector>(::dlsym(RTLD_DEFAULT, "sel_registerName"));
  void* send = ::dlsym(RTLD_DEFAULT, "objc_msgSend");
  bool usable() const { return framework != nullptr && getClass != nullptr && selector != nullptr && send != nullptr; }
};

}  // namespace

std::vector<RunningApplication> runningApplications() {
  std::vector<RunningApplication> applications;
  const uid_t user = ::getuid();
  for (const pid_t pid : allProcesses()) {
    const std::optional<proc_bsdinfo> info = processInfo(pid);
    if (pid < 1 || !info || info->pbi_uid != user) continue;
    char path[PROC_PIDPATHINFO_MAXSIZE] = {};
    if (::proc_pidpath(pid, path, sizeof path) <= 0) continue;  // gone, or not ours to read
    if (const std::optional<fs::path> bundle = bundleOf(path)) applications.push_back({pid, *bundle});
  }
  return applications;
}

std::vector<std::string> environmentOf(pid_t pid) {
  int name[] = {CTL_KERN, KERN_PROCARGS2, pid};
  std::size_t length = 0;
  if (::sysctl(name, 3, nullptr, &length, nullptr, 0) != 0 || length == 0) return {};
  // Given a buffer too small, the kernel returns the block's end: never that.
  std::string block(length, '\0');
  if (::sysctl(name, 3, block.data(), &length, nullptr, 0) != 0 || length > block.size()) return {};
  block.resize(length);
  return environmentFromArgumentBlock(block);
}

bool isProcessRunning(pid_t pid) {
  if (pid < 1) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  // Another user's process cannot be examined (EPERM): signal 0 found it.
  const std::optional<proc_bsdinfo> info = processInfo(pid, Zombies::found);
  if (!info) return errno != ESRCH;
  return info->pbi_status != SZOMB;
}

void openApplication(const fs::path& bundle, const std::vector<std::string>&) {
  // Launch Services starts it as the desktop would: in this process's
  // session, its own process, no descriptor of ours. open answers at once,
  // and says so when it could not.
  constexpr double kOpenSeconds = 10;
  const std::optional<Finished> opened = runWithTimeout("/usr/bin/open", {"-a", bundle.string()}, kOpenSeconds);
  if (!opened) throw std::runtime_error("/usr/bin/open did not answer.");
  if (opened->status != 0) {
    throw std::runtime_error(opened->output.empty() ? "/usr/bin/open failed (" + std::to_string(opened->status) + ")."
                                                    : trimmedWhitespace(opened->output));
  }
}

bool requestQuit(pid_t pid) {
  if (pid < 1) return false;
  static const AppKit kit;
  if (!kit.usable()) return false;
  using FindApplication = void* (*)(void*, void*, pid_t);
  using Terminate = signed char (*)(void*, void*);
  void* type = kit.getClass("NSRunningApplication");
  if (type == nullptr) return false;
  // Nil for a process outside this desktop session, or one that is no
  // application; NO when the application will not be asked.
  void* application = reinterpret_cast<FindApplication>(kit.send)(
      type, kit.selector("runningApplicationWithProcessIdentifier:"), pid);
  return application != nullptr && reinterpret_cast<Terminate>(kit.send)(application, kit.selector("terminate")) != 0;
}

}  // namespace nimbra
