#include "engine/platform/subprocess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <thread>

#include "engine/platform/unicode.h"

extern char** environ;

namespace nimbra {

namespace {

std::filesystem::filesystem_error spawnError(int error, const std::filesystem::path& executable) {
  return std::filesystem::filesystem_error("launch", executable, std::error_code(error, std::system_category()));
}

struct SpawnSetup {
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  short flags = 0;  // posix_spawnattr_setflags's, set at the spawn
};

pid_t spawn(const std::filesystem::path& executable, const std::vector<std::string>& arguments, SpawnSetup& setup,
            char* const* environment = environ) {
  std::vector<std::string> storage;
  storage.reserve(arguments.size() + 1);
  storage.push_back(executable.string());
  storage.insert(storage.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);
  // Nothing of this process beyond the three standard streams reaches the
  // child, whoever opened the descriptor and however.
#if NIMBRA_MAC
  setup.flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#else
  posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
#endif
  posix_spawnattr_setflags(&setup.attributes, setup.flags);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes, argv.data(), environment);
  if (error != 0) throw spawnError(error, executable);
  return pid;
}

int decodeStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

}  // namespace

Subprocess::Subprocess(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                       Captured captured) {
  int output[2];
  int cancel[2];
  makeCloseOnExecPipe(output);
  read_.reset(output[0]);
  UniqueFd write(output[1]);
  makeCloseOnExecPipe(cancel);
  cancelRead_.reset(cancel[0]);
  cancelWrite_.reset(cancel[1]);

  SpawnSetup setup;
#if NIMBRA_MAC
  // Every descriptor the actions do not name is closed there, the standard ones too.
  posix_spawn_file_actions_addinherit_np(&setup.actions, STDIN_FILENO);
  if (captured == Captured::outputOnly) posix_spawn_file_actions_addinherit_np(&setup.actions, STDERR_FILENO);
#endif
  posix_spawn_file_actions_adddup2(&setup.actions, write.get(), STDOUT_FILENO);
  if (captured == Captured::outputAndErrors) {
    posix_spawn_file_actions_adddup2(&setup.actions, write.get(), STDERR_FILENO);
  }
  pid_ = spawn(executable, arguments, setup);
  write.reset();  // only the child holds the write end now, so its end is the pipe's end
  drainer_ = std::thread([this] { drain(); });
}

Subprocess::~Subprocess() {
  if (drainer_.joinable()) {
    (void)!::write(cancelWrite_.get(), "x", 1);
    drainer_.join();
  }
  if (!running()) return;
  reapInBackground(pid_);
}

bool Subprocess::running() {
  if (ended_) return false;
  int status = 0;
  pid_t result = 0;
  do {
    result = ::waitpid(pid_, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid_) {
    ended_ = true;
    status_ = decodeStatus(status);
  } else if (result < 0) {
    ended_ = true;  // not our child any more; nothing to wait for
    status_ = 128;
  }
  return !ended_;
}

int Subprocess::wait() {
  while (running()) {
    int status = 0;
    const pid_t result = ::waitpid(pid_, &status, 0);
    if (result == pid_) {
      ended_ = true;
      status_ = decodeStatus(status);
    } else if (result < 0 && errno != EINTR) {
      ended_ = true;
      status_ = 128;
    }
  }
  return status_;
}

void Subprocess::terminate() {
  if (!ended_) ::kill(pid_, SIGTERM);
}

std::string Subprocess::output(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(mutex_);
  finished_.wait_until(lock, until, [this] { return drained_; });
  lock.unlock();
  (void)!::write(cancelWrite_.get(), "x", 1);
  if (drainer_.joinable()) drainer_.join();
  return std::move(buffer_);
}

void Subprocess::drain() {
  std::vector<char> block(64 * 1024);
  pollfd fds[2] = {{read_.get(), POLLIN, 0}, {cancelRead_.get(), POLLIN, 0}};
  for (;;) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) break;
    const ssize_t got = ::read(read_.get(), block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    std::lock_guard<std::mutex> lock(mutex_);
    buffer_.append(block.data(), static_cast<std::size_t>(got));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  drained_ = true;
  finished_.notify_all();
}

void makeCloseOnExecPipe(int ends[2]) {
#if NIMBRA_MAC
  // No pipe2 here; nothing of ours spawns between the two calls without
  // POSIX_SPAWN_CLOEXEC_DEFAULT.
  if (::pipe(ends) != 0) throw std::system_error(errno, std::system_category(), "pipe");
  for (int i = 0; i < 2; ++i) ::fcntl(ends[i], F_SETFD, FD_CLOEXEC);
#else
  if (::pipe2(ends, O_CLOEXEC) != 0) throw std::system_error(errno, std::system_category(), "pipe");
#endif
}

void reapInBackground(pid_t pid) {
  std::thread([pid] {
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

void launchDetached(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment) {
  SpawnSetup setup;
  setup.flags |= POSIX_SPAWN_SETSID;
  // The application belongs to the desktop, not to us: a script reading our
  // output must see its end when we exit, not when the user quits Rhino.
  posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&setup.actions, STDOUT_FILENO, STDERR_FILENO);
  if (environment.empty()) return reapInBackground(spawn(executable, arguments, setup));
  std::vector<std::string> storage = environment;
  std::vector<char*> entries;
  for (std::string& entry : storage) entries.push_back(entry.data());
  entries.push_back(nullptr);
  reapInBackground(spawn(executable, arguments, setup, entries.data()));
}

std::optional<Finished> runWithTimeout(const std::filesystem::path& executable,
                                       const std::vector<std::string>& arguments, double timeout) {
  using Clock = std::chrono::steady_clock;
  // How long, after the child has ended, its output may take to reach its
  // end. Only a grandchild that kept the pipe open takes longer; its output
  // is not waited for.
  constexpr auto kOutputGrace = std::chrono::seconds(1);
  Subprocess child(executable, arguments);
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(timeout, 0.0)));
  // The child's state is tested before the clock, so one that has already
  // ended is never waited for.
  while (child.running()) {
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (child.running()) {
    child.terminate();
    return std::nullopt;
  }
  std::string output = repairedUTF8(child.output(Clock::now() + kOutputGrace));
  return Finished{child.status(), std::move(output)};
}

}  // namespace nimbra
