#pragma once

// A process list and mounts of a test's own, for real processes that see and
// signal nobody else's: unshare makes a first process, and every command of
// the test joins it with nsenter. As root; as anyone else inside a user
// namespace of their own, where they count as root. Ending it ends every
// process in it, and its mounts with them.

#include <sys/types.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace nimbra::testing {

class ProcessNamespace {
 public:
  ProcessNamespace();
  ~ProcessNamespace();
  ProcessNamespace(const ProcessNamespace&) = delete;
  ProcessNamespace& operator=(const ProcessNamespace&) = delete;

  // Whether it could be made (unshare needs root or user namespaces).
  bool made() const { return first_ > 0; }
  // Runs a shell command in it and waits: its exit status, -1 for a signal.
  int run(const std::string& command) const;
  // Where a path of its mounts is seen from out here.
  std::filesystem::path seen(const std::filesystem::path& path) const;
  // Its processes whose command line begins with text (an executable's
  // path: not a shell or setpriv about to run it), by their ids in it.
  std::vector<pid_t> processes(const std::string& text) const;

 private:
  FILE* unshare_ = nullptr;
  pid_t first_ = -1;  // the first process in it, by its id out here
};

// Single quotes around text, for a shell.
std::string quoted(const std::string& text);

}  // namespace nimbra::testing
