// Running applications on a Mac: the kernel's process list, each process's
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

#include "engine/platform/running_applications.h"
#include "engine/platform/subprocess.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

std::optional<proc_bsdinfo> processInfo(pid_t pid) {
  proc_bsdinfo info{};
  if (::proc_pidinfo(pid, PROC_PIDTBSDINFO, 0, &info, sizeof info) != static_cast<int>(sizeof info)) return std::nullopt;
  return info;
}

std::vector<std::string> environmentOf(pid_t pid) {
  int size = 0;
  std::size_t length = sizeof size;
  int maximum[] = {CTL_KERN, KERN_ARGMAX};
  if (::sysctl(maximum, 2, &size, &length, nullptr, 0) != 0 || size <= 0) return {};
  std::string block(static_cast<std::size_t>(size), '\0');
  length = block.size();
  int arguments[] = {CTL_KERN, KERN_PROCARGS2, pid};
  if (::sysctl(arguments, 3, block.data(), &length, nullptr, 0) != 0) return {};
  block.resize(length);
  return environmentFromArgumentBlock(block);
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
  std::vector<pid_t> pids(4096);
  const int count = ::proc_listallpids(pids.data(), static_cast<int>(pids.size() * sizeof(pid_t)));
  if (count <= 0) return {};
  pids.resize(std::min(pids.size(), static_cast<std::size_t>(count)));
  std::vector<RunningApplication> applications;
  const uid_t user = ::getuid();
  for (const pid_t pid : pids) {
    const std::optional<proc_bsdinfo> info = processInfo(pid);
    if (pid < 1 || !info || info->pbi_uid != user) continue;
    char path[PROC_PIDPATHINFO_MAXSIZE] = {};
    if (::proc_pidpath(pid, path, sizeof path) <= 0) continue;  // gone, or not ours to read
    if (const std::optional<fs::path> bundle = bundleOf(path)) applications.push_back({pid, *bundle, environmentOf(pid)});
  }
  return applications;
}

bool isProcessRunning(pid_t pid) {
  if (pid < 1) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  const std::optional<proc_bsdinfo> info = processInfo(pid);
  return !info || info->pbi_status != SZOMB;
}

void openApplication(const fs::path& bundle, const std::vector<std::string>& environment) {
  // Launch Services starts it as the desktop would: in the user's session,
  // its own process, no descriptor of ours.
  launchDetached("/usr/bin/open", {"-a", bundle.string()}, environment);
}

void requestQuit(pid_t pid) {
  if (pid < 1) return;
  static const AppKit kit;
  if (!kit.usable()) return;
  using FindApplication = void* (*)(void*, void*, pid_t);
  using Terminate = signed char (*)(void*, void*);
  void* type = kit.getClass("NSRunningApplication");
  if (type == nullptr) return;
  void* application = reinterpret_cast<FindApplication>(kit.send)(
      type, kit.selector("runningApplicationWithProcessIdentifier:"), pid);
  if (application != nullptr) reinterpret_cast<Terminate>(kit.send)(application, kit.selector("terminate"));
}

}  // namespace nimbra
