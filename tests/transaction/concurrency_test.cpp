// Children of the installer: the install lock dies with the process that
// took it, never living on in a program it started.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/platform/file_lock.h"
#include "tests/transaction/harness.h"

extern char** environ;

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

struct Pipe {
  Pipe() { EXPECT_EQ(::pipe(ends), 0); }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  void closeRead() { ends[0] >= 0 && ::close(ends[0]), ends[0] = -1; }
  void closeWrite() { ends[1] >= 0 && ::close(ends[1]), ends[1] = -1; }
  int ends[2] = {-1, -1};
};

constexpr int kCrashStatus = 86;

TEST(InstallLock, AChildStartedDuringAnInstallNeverHoldsTheLock) {
  // The installer starts a child (as the window does when it opens Rhino
  // again) and then ends without unlocking, as in a crash: the lock must die
  // with it, not live on in the child.
  InstallSandbox box;
  Pipe spawned;
  const int status = runInChild([&] {
    box.engine()->install(box.targets(), std::nullopt, [&](const ProgressStep&) {
      char sleep[] = "/bin/sleep";
      char seconds[] = "30";
      char* argv[] = {sleep, seconds, nullptr};
      pid_t child = -1;
      if (::posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ) != 0) ::_exit(1);
      (void)!::write(spawned.ends[1], &child, sizeof child);
      ::_exit(kCrashStatus);
    });
  });
  ASSERT_EQ(status, kCrashStatus);
  pid_t child = -1;
  ASSERT_EQ(::read(spawned.ends[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  ASSERT_TRUE(InstallEngine::isProcessRunning(child));
  EXPECT_EQ(FileLock(box.support() / "install.lock").outcome(), FileLock::Outcome::locked);
  EXPECT_NO_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress));
  ::kill(child, SIGTERM);
}

}  // namespace
}  // namespace nimbra::testing
