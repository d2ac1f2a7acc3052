#include "tests/support/process_namespace.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/sandbox.h"

namespace nimbra::testing {

namespace fs = std::filesystem;

namespace {

const bool kRoot = ::geteuid() == 0;

std::string linkTarget(const fs::path& link) {
  std::error_code error;
  return fs::read_symlink(link, error).string();
}

}  // namespace

ProcessNamespace::ProcessNamespace() {
  std::vector<const char*> command = {"unshare", "--pid", "--fork", "--mount-proc", "sleep", "infinity", nullptr};
  if (!kRoot) command.insert(command.begin() + 1, {"--user", "--map-root-user"});
  unshare_ = ::fork();
  if (unshare_ == 0) {
    ::dup2(::open("/dev/null", O_WRONLY), STDERR_FILENO);
    ::execvp(command[0], const_cast<char* const*>(command.data()));
    ::_exit(127);
  }
  // Ready once its first process is sleep: /proc is mounted in it by then.
  const std::string children = "/proc/" + std::to_string(unshare_) + "/task/" + std::to_string(unshare_) + "/children";
  pid_t ended = 0;
  for (int wait = 0; wait < 1000 && (ended = ::waitpid(unshare_, nullptr, WNOHANG)) == 0; ++wait) {
    try {
      first_ = std::atoi(readFile(children).c_str());
      if (first_ > 0 && readFile("/proc/" + std::to_string(first_) + "/comm") == "sleep\n") return;
    } catch (const std::exception&) {
      // Not there yet.
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  // It could not, or not in five seconds.
  if (ended == 0) ::kill(unshare_, SIGKILL);
  if (ended != 0) unshare_ = -1;
  first_ = -1;
}

ProcessNamespace::~ProcessNamespace() {
  if (first_ > 0) ::kill(first_, SIGKILL);
  if (unshare_ > 0) ::waitpid(unshare_, nullptr, 0);
}

bool ProcessNamespace::available() { return ProcessNamespace().first_ > 0; }

int ProcessNamespace::run(const std::string& command) const {
  if (first_ <= 0) return -1;
  const std::string enter = "nsenter --target " + std::to_string(first_) +
                            (kRoot ? "" : " --user --preserve-credentials") + " --pid --mount sh -c " + quoted(command);
  const int status = std::system(enter.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path ProcessNamespace::seen(const fs::path& path) const {
  return fs::path("/proc/" + std::to_string(first_) + "/root") / path.relative_path();
}

std::vector<pid_t> ProcessNamespace::processes(const std::string& text) const {
  const std::string own = linkTarget("/proc/" + std::to_string(first_) + "/ns/pid");
  std::vector<pid_t> found;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename().string();
    if (!std::all_of(name.begin(), name.end(), ::isdigit) || linkTarget(entry.path() / "ns/pid") != own) continue;
    std::string line;
    try {
      line = readFile(entry.path() / "cmdline");
    } catch (const std::exception&) {
      continue;  // ended meanwhile
    }
    std::replace(line.begin(), line.end(), '\0', ' ');
    if (line.starts_with(text)) found.push_back(std::stoi(name));
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::string quoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string quoted(const fs::path& path) { return quoted(path.string()); }

}  // namespace nimbra::testing
