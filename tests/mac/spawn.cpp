// A Mac's posix_spawn: with POSIX_SPAWN_CLOEXEC_DEFAULT, every descriptor the
// file actions do not name is closed in the child, the standard ones too
// (xnu's exec_handle_file_actions). The system's tools the installer starts,
// /usr/bin/open and /bin/launchctl, are the stand-ins in tests/mac/bin
// (NIMBRA_MAC_TOOLS, else the source tree's).

#include <dirent.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "tests/mac/standin.h"

namespace {

constexpr short kSetSession = 0x0400;
constexpr short kCloseByDefault = 0x4000;

std::mutex mutex;
std::map<const void*, std::set<int>> named;  // by file actions
std::map<const void*, short> macFlags;       // by attributes

void name(const void* actions, int fd) {
  const std::lock_guard lock(mutex);
  named[actions].insert(fd);
}

std::string toolFor(const char* path) {
  const char* tools = std::getenv("NIMBRA_MAC_TOOLS");
  const std::string folder = tools != nullptr ? tools : NIMBRA_MAC_TOOLS_FOLDER;
  if (std::string(path) == "/usr/bin/open") return folder + "/open";
  if (std::string(path) == "/bin/launchctl") return folder + "/launchctl";
  return path;
}

}  // namespace

extern "C" int nimbra_mac_posix_spawn_file_actions_adddup2(posix_spawn_file_actions_t* actions, int fd, int newfd) {
  name(actions, newfd);
  return posix_spawn_file_actions_adddup2(actions, fd, newfd);
}

extern "C" int nimbra_mac_posix_spawn_file_actions_addopen(posix_spawn_file_actions_t* actions, int fd,
                                                           const char* path, int flags, mode_t mode) {
  name(actions, fd);
  return posix_spawn_file_actions_addopen(actions, fd, path, flags, mode);
}

extern "C" int posix_spawn_file_actions_addinherit_np(posix_spawn_file_actions_t* actions, int fd) {
  name(actions, fd);
  // dup2 onto itself keeps it open in the child even if close-on-exec.
  return posix_spawn_file_actions_adddup2(actions, fd, fd);
}

extern "C" int nimbra_mac_posix_spawnattr_setflags(posix_spawnattr_t* attributes, short flags) {
  {
    const std::lock_guard lock(mutex);
    macFlags[attributes] = flags;
  }
  const short linux = static_cast<short>((flags & ~(kSetSession | kCloseByDefault)) |
                                         ((flags & kSetSession) != 0 ? POSIX_SPAWN_SETSID : 0));
  return posix_spawnattr_setflags(attributes, linux);
}

extern "C" int nimbra_mac_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                                      const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]) {
  std::set<int> keep;
  bool closeByDefault = false;
  {
    const std::lock_guard lock(mutex);
    closeByDefault = attributes != nullptr && (macFlags[attributes] & kCloseByDefault) != 0;
    keep = named[actions];
  }
  if (closeByDefault && actions != nullptr) {
    auto* all = const_cast<posix_spawn_file_actions_t*>(actions);
    DIR* open = ::opendir("/proc/self/fd");
    for (dirent* entry; open != nullptr && (entry = ::readdir(open)) != nullptr;) {
      const int fd = std::atoi(entry->d_name);
      if (entry->d_name[0] != '.' && fd != ::dirfd(open) && !keep.count(fd)) posix_spawn_file_actions_addclose(all, fd);
    }
    if (open != nullptr) ::closedir(open);
  }
  const std::string tool = toolFor(path);
  const int result = posix_spawn(pid, tool.c_str(), actions, attributes, argv, envp);
  // Each set of actions and attributes serves one spawn here.
  const std::lock_guard lock(mutex);
  named.erase(actions);
  macFlags.erase(attributes);
  return result;
}
