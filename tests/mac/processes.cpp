// libproc and sysctl(KERN_PROCARGS2) over /proc, as xnu answers them
// (bsd/kern/proc_info.c, kern_sysctl.c; Libc's libproc.c).

#include <errno.h>
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/mac/include/libproc.h"
#include "tests/mac/include/mach-o/dyld.h"
#include "tests/mac/include/sys/sysctl.h"
#include "tests/mac/standin.h"

namespace nimbra::mac {

namespace fs = std::filesystem;

namespace {

constexpr int kMacArgMax = 1024 * 1024;
constexpr int kPathInfoSize = 1024;  // MAXPATHLEN

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// NIMBRA_MAC_PROCESSES=<n>: a machine with n processes more (ids no process
// has), listed first.
std::vector<pid_t> allProcesses() {
  std::vector<pid_t> pids;
  if (const char* more = std::getenv("NIMBRA_MAC_PROCESSES")) {
    for (int i = 0; i < std::atoi(more); ++i) pids.push_back(4'000'000 + i);
  }
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    pid_t pid = 0;
    if (std::from_chars(name.data(), name.data() + name.size(), pid).ptr == name.data() + name.size()) pids.push_back(pid);
  }
  return pids;
}

// xnu's proc_security_policy: another user's process only for root.
bool mayExamine(const Process& process) { return ::geteuid() == 0 || process.uid == ::geteuid(); }

// The string area of a process's stack as exec left it: "executable_path="
// and the path, NUL-padded to 8 bytes, the arguments and the environment,
// padded again, then the kernel's own strings for the loader.
std::string stringArea(pid_t pid) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  const std::string path = fs::read_symlink(proc / "exe", error).string();
  const auto pad = [](std::string& text) { text.append((8 - text.size() % 8) % 8, '\0'); };
  std::string area = "executable_path=" + path + '\0';
  pad(area);
  area += readAll(proc / "cmdline") + readAll(proc / "environ");
  pad(area);
  area += "ptr_munge=" + std::string(1, '\0') + "main_stack=0x7ff7bfe00000,0x800000" + '\0' +
          "executable_file=0x1a01000009,0x" + std::to_string(pid) + '\0' + "th_port=0x103" + '\0';
  pad(area);
  return area;
}

int argumentCount(pid_t pid) {
  const std::string line = readAll("/proc/" + std::to_string(pid) + "/cmdline");
  return static_cast<int>(std::count(line.begin(), line.end(), '\0'));
}

int processArguments(pid_t pid, void* buffer, size_t* size) {
  const std::optional<Process> process = processOf(pid);
  if (!process || process->zombie) return EINVAL;
  // The key is stripped: what is returned begins with the bare path.
  const std::string area = stringArea(pid).substr(std::strlen("executable_path="));
  if (buffer == nullptr) {  // the size, asked before any permission is checked
    *size = (area.size() + sizeof(int) + 3) / 4 * 4;
    return 0;
  }
  if (*size <= sizeof(int) || *size - sizeof(int) > static_cast<size_t>(kMacArgMax)) return EINVAL;
  if (!mayExamine(*process)) return EINVAL;
  const size_t room = *size - sizeof(int);
  // A buffer too small gets the end of the area, not its beginning.
  const std::string data = room >= area.size() ? area : area.substr(area.size() - room);
  const int count = argumentCount(pid);
  std::memcpy(buffer, &count, sizeof count);
  std::memcpy(static_cast<char*>(buffer) + sizeof count, data.data(), data.size());
  *size = data.size() + sizeof count;
  return 0;
}

int fail(int error, int result = -1) {
  errno = error;
  return result;
}

}  // namespace

std::optional<Process> processOf(pid_t pid) {
  const fs::path proc = "/proc/" + std::to_string(pid);
  std::ifstream status(proc / "status");
  Process process;
  bool found = false;
  for (std::string line; std::getline(status, line);) {
    std::istringstream fields(line.substr(line.find(':') + 1));
    if (line.starts_with("Name:")) fields >> process.name;
    if (line.starts_with("State:")) {
      std::string state;
      fields >> state;
      process.zombie = state == "Z" || state == "X";
    }
    if (line.starts_with("PPid:")) fields >> process.parent;
    if (line.starts_with("Uid:")) found = static_cast<bool>(fields >> process.ruid >> process.uid);
  }
  if (!found) return std::nullopt;
  return process;
}

std::optional<std::string> sessionOf(pid_t pid) {
  const std::string environment = readAll("/proc/" + std::to_string(pid) + "/environ");
  for (std::size_t at = 0; at < environment.size(); at = environment.find('\0', at) + 1) {
    if (environment.compare(at, 19, "NIMBRA_MAC_SESSION=") == 0) {
      return environment.substr(at + 19, environment.find('\0', at) - at - 19);
    }
    if (environment.find('\0', at) == std::string::npos) break;
  }
  return std::nullopt;
}

}  // namespace nimbra::mac

using namespace nimbra::mac;

extern "C" int proc_listallpids(void* buffer, int buffersize) {
  // proc_listpids counts in bytes, libproc in processes; zombies are listed.
  const std::vector<pid_t> pids = allProcesses();
  if (buffer == nullptr) return static_cast<int>(pids.size()) + 20;
  if (buffersize < static_cast<int>(sizeof(int))) return fail(ENOMEM, 0);
  const std::size_t fits = std::min(pids.size(), static_cast<std::size_t>(buffersize) / sizeof(int));
  std::memcpy(buffer, pids.data(), fits * sizeof(int));
  return static_cast<int>(fits);
}

extern "C" int proc_pidinfo(int pid, int flavor, uint64_t arg, void* buffer, int buffersize) {
  if (flavor != PROC_PIDTBSDINFO) return fail(EINVAL, 0);
  if (buffersize < static_cast<int>(sizeof(proc_bsdinfo))) return fail(ENOMEM, 0);
  // A zombie is found only when arg asks for zombies too.
  const std::optional<Process> process = processOf(pid);
  if (!process || (process->zombie && arg == 0)) return fail(ESRCH, 0);
  if (!mayExamine(*process)) return fail(EPERM, 0);
  proc_bsdinfo info{};
  info.pbi_status = process->zombie ? SZOMB : 2;  // SRUN
  info.pbi_pid = static_cast<uint32_t>(pid);
  info.pbi_ppid = static_cast<uint32_t>(process->parent);
  info.pbi_uid = process->uid;
  info.pbi_ruid = process->ruid;
  std::strncpy(info.pbi_comm, process->name.c_str(), MAXCOMLEN - 1);
  std::memcpy(buffer, &info, sizeof info);
  return static_cast<int>(sizeof info);
}

extern "C" int proc_pidpath(int pid, void* buffer, uint32_t buffersize) {
  if (buffersize < kPathInfoSize) return fail(ENOMEM, 0);
  if (buffersize > PROC_PIDPATHINFO_MAXSIZE) return fail(EOVERFLOW, 0);
  const std::optional<Process> process = processOf(pid);
  if (!process || process->zombie) return fail(ESRCH, 0);
  std::error_code error;
  const std::string path = fs::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
  if (error || path.size() >= buffersize) return fail(error ? error.value() : ENAMETOOLONG, 0);
  std::memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<int>(path.size());
}

extern "C" int sysctl(int* name, unsigned namelen, void* oldp, size_t* oldlenp, void*, size_t) {
  if (namelen == 2 && name[0] == CTL_KERN && name[1] == KERN_ARGMAX && oldlenp != nullptr &&
      *oldlenp >= sizeof(int)) {
    std::memcpy(oldp, &kMacArgMax, sizeof(int));
    *oldlenp = sizeof(int);
    return 0;
  }
  if (namelen == 3 && name[0] == CTL_KERN && name[1] == KERN_PROCARGS2 && oldlenp != nullptr) {
    const int error = processArguments(name[2], oldp, oldlenp);
    return error == 0 ? 0 : fail(error);
  }
  return fail(ENOTSUP);
}

extern "C" int _NSGetExecutablePath(char* buf, uint32_t* bufsize) {
  std::error_code error;
  const std::string path = fs::read_symlink("/proc/self/exe", error).string();
  if (path.size() + 1 > *bufsize) {
    *bufsize = static_cast<uint32_t>(path.size() + 1);
    return -1;
  }
  std::memcpy(buf, path.c_str(), path.size() + 1);
  return 0;
}
