#include "tests/support/process_namespace.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "tests/support/sandbox.h"

namespace nimbra::testing {

namespace fs = std::filesystem;

const bool kRoot = ::geteuid() == 0;  // const: this file's own

ProcessNamespace::ProcessNamespace() {
  // Its first process tells its id out here, read before it mounts a /proc
  // of its own, and sleeps until it is ended.
  const std::string first =
      "read -r id rest </proc/self/stat && mount -t proc proc /proc && echo $id && exec sleep infinity";
  const std::string command = std::string("unshare ") + (kRoot ? "" : "--user --map-root-user ") +
                              "--pid --fork --mount sh -c " + quoted(first) + " 2>/dev/null";
  unshare_ = ::popen(command.c_str(), "r");
  if (unshare_ == nullptr || std::fscanf(unshare_, "%d", &first_) != 1) first_ = -1;
}

ProcessNamespace::~ProcessNamespace() {
  if (first_ > 0) ::kill(first_, SIGKILL);
  if (unshare_ != nullptr) ::pclose(unshare_);
}

int ProcessNamespace::run(const std::string& command) const {
  if (first_ <= 0) return -1;
  // Whoever runs it sits at their desktop: on a Mac, in their own session.
  const std::string session = NIMBRA_MAC ? "export NIMBRA_MAC_SESSION=$(id -u); " : "";
  const std::string enter = "nsenter --target " + std::to_string(first_) +
                            (kRoot ? "" : " --user --preserve-credentials") + " --pid --mount sh -c " +
                            quoted(session + command);
  const int status = std::system(enter.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path ProcessNamespace::seen(const fs::path& path) const {
  return fs::path("/proc/" + std::to_string(first_) + "/root") / path.relative_path();
}

std::vector<pid_t> ProcessNamespace::processes(const std::string& text) const {
  std::vector<pid_t> found;
  for (const fs::directory_entry& entry : fs::directory_iterator(seen("/proc"))) {
    const std::string name = entry.path().filename().string();
    if (!std::all_of(name.begin(), name.end(), ::isdigit)) continue;
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

}  // namespace nimbra::testing
