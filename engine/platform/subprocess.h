#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine/platform/unique_fd.h"

namespace nimbra {

// A child process started directly (no shell, no PATH search) with an exact
// argument list. Its standard output and standard error share one pipe that a
// thread drains while it runs, so a child that writes megabytes never blocks;
// or its standard output alone, its standard error then being ours. The
// child inherits the environment, working folder and standard input, and no
// other descriptor of this process.
class Subprocess {
 public:
  enum class Captured { outputAndErrors, outputOnly };
  // Throws std::system_error with the platform's error when it cannot start.
  Subprocess(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
             Captured captured = Captured::outputAndErrors);
  // Stops the drain thread. A child still running is reaped in the
  // background once it ends, never left as a zombie.
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  pid_t pid() const { return pid_; }
  // Whether the child has not ended yet; never blocks.
  bool running();
  // Waits for the child to end; its status() then.
  int wait();
  // The exit status, or 128 + the signal that ended it. REQUIRES: !running().
  int status() const { return status_; }
  // Sends the ordinary quit request, SIGTERM.
  void terminate();
  // Everything the child wrote: waits for the end of the pipe until the
  // given time at most (a grandchild may keep it open), then stops draining.
  std::string output(std::chrono::steady_clock::time_point until);

 private:
  void drain();

  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = 0;
  UniqueFd read_;
  UniqueFd cancelRead_;
  UniqueFd cancelWrite_;
  std::mutex mutex_;
  std::condition_variable finished_;
  bool drained_ = false;
  std::string buffer_;
  std::thread drainer_;
};

// What a child that ended left: its exit status and its output.
struct Finished {
  int status = 0;
  std::string output;  // both streams, interleaved, ill-formed UTF-8 replaced by U+FFFD
};

// Runs executable (an absolute location, no shell) with exactly arguments,
// blocking the caller and polling every 50 ms, for timeout seconds at most.
// Nothing when it ran out of time (the child is then sent SIGTERM and not
// waited for). Throws the platform's launch error.
std::optional<Finished> runWithTimeout(const std::filesystem::path& executable,
                                       const std::vector<std::string>& arguments, double timeout);

// Makes a pipe whose two ends are close-on-exec (ends[0] reads). Throws
// std::system_error.
void makeCloseOnExecPipe(int ends[2]);

// Waits for pid in a detached thread, so that a child nobody waits for does
// not stay a zombie.
void reapInBackground(pid_t pid);

// Starts executable with arguments in a session of its own, its standard
// streams on /dev/null and no other descriptor of ours, and does not wait for
// it: with environment ("NAME=value" entries) when one is given, else with
// this process's. Throws std::system_error.
void launchDetached(const std::filesystem::path& executable, const std::vector<std::string>& arguments = {},
                    const std::vector<std::string>& environment = {});

}  // namespace nimbra
