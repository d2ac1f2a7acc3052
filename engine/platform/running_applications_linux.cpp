// Running applications on Linux: /proc, and SIGTERM as the quit request.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <system_error>

#include "engine/platform/bundle.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/running_applications.h"
#include "engine/platform/subprocess.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

std::optional<pid_t> processID(const std::string& name) {
  pid_t pid = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
  if (error != std::errc() || end != name.data() + name.size() || pid < 1) return std::nullopt;
  return pid;
}

}  // namespace

std::vector<std::string> environmentOf(pid_t pid) {
  constexpr std::size_t kLimit = 1 << 20;
  std::ifstream file("/proc/" + std::to_string(pid) + "/environ", std::ios::binary);
  std::vector<std::string> environment;
  std::size_t total = 0;
  for (std::string entry; std::getline(file, entry, '\0') && total < kLimit; total += entry.size() + 1) {
    if (entry.find('=') != std::string::npos) environment.push_back(entry);
  }
  return environment;
}

namespace {

bool hasEnded(pid_t pid) {
  // "<pid> (<command>) <state> ...": the command may itself hold ")".
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(file, line)) return false;
  const std::size_t close = line.rfind(')');
  if (close == std::string::npos || close + 2 >= line.size()) return false;
  const char state = line[close + 2];
  return state == 'Z' || state == 'X';
}

}  // namespace

std::vector<RunningApplication> runningApplications() {
  std::vector<RunningApplication> applications;
  std::error_code error;
  const uid_t user = ::getuid();
  for (fs::directory_iterator it("/proc", error), end; !error && it != end; it.increment(error)) {
    const std::optional<pid_t> pid = processID(it->path().filename().string());
    if (!pid) continue;
    struct stat info {};
    if (::stat(it->path().c_str(), &info) != 0 || info.st_uid != user) continue;
    std::error_code linkError;
    const fs::path executable = fs::read_symlink(it->path() / "exe", linkError);
    if (linkError) continue;  // gone, or not ours to read
    if (const std::optional<fs::path> bundle = bundleOf(executable)) {
      applications.push_back({*pid, *bundle});
    }
  }
  return applications;
}

bool isProcessRunning(pid_t pid) {
  if (pid < 1) return false;
  if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
  return !hasEnded(pid);
}

void openApplication(const fs::path& bundle, const std::vector<std::string>& environment) {
  const std::optional<Bundle> opened = Bundle::open(FileManager::standard(), bundle);
  const std::optional<fs::path> executable = opened ? opened->executable() : std::nullopt;
  if (!executable) throw fs::filesystem_error("launch", bundle, std::make_error_code(std::errc::executable_format_error));
  launchDetached(*executable, {}, environment);
}

bool requestQuit(pid_t pid) { return pid > 0 && ::kill(pid, SIGTERM) == 0; }

}  // namespace nimbra
