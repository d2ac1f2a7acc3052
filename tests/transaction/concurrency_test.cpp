// Two installs at once, and children of the installer: the install lock
// admits exactly one install and never outlives the call that took it.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <iostream>

#include "engine/platform/file_lock.h"
#include "tests/support/power_cut_disk.h"
#include "tests/transaction/harness.h"

extern char** environ;

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kRefused = 3;

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

pid_t startInstaller(InstallSandbox& box, Pipe& start, Pipe& locked, Pipe& release) {
  const pid_t child = ::fork();
  if (child != 0) return child;
  ::alarm(60);  // never hang the suite
  start.closeWrite();
  locked.closeRead();
  release.closeWrite();
  char byte;
  (void)!::read(start.ends[0], &byte, 1);  // both wait here until the parent lets them go together
  bool first = true;
  try {
    box.engine()->install(box.targets(), std::nullopt, [&](const std::string&) {
      if (!first) return;
      first = false;
      (void)!::write(locked.ends[1], "L", 1);
      (void)!::read(release.ends[0], &byte, 1);  // hold the lock until the parent has seen the other
    });
  } catch (const InstallError& error) {
    ::_exit(std::string(error.what()) == "Another Nimbra installation is already running." ? kRefused : 1);
  } catch (...) {
    ::_exit(1);
  }
  ::_exit(0);
}

int exitStatus(int status) { return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status); }

TEST(InstallLock, OfTwoInstallsStartedTogetherExactlyOneProceeds) {
  InstallSandbox box;
  prepareRealisticHome(box);
  const Snapshot before = box.snapshot();
  Pipe start, locked, release;
  const pid_t a = startInstaller(box, start, locked, release);
  const pid_t b = startInstaller(box, start, locked, release);
  start.closeWrite();
  locked.closeWrite();
  release.closeRead();

  int status = 0;
  const pid_t refused = ::waitpid(-1, &status, 0);
  EXPECT_EQ(exitStatus(status), kRefused);
  // The refused one changed nothing: the other, still holding the lock, has
  // not yet gone past its checks.
  EXPECT_EQ(differences(before, box.snapshot()), "");
  char byte = 0;
  EXPECT_EQ(::read(locked.ends[0], &byte, 1), 1);
  EXPECT_EQ(byte, 'L');
  release.closeWrite();
  const pid_t proceeded = refused == a ? b : a;
  ASSERT_EQ(::waitpid(proceeded, &status, 0), proceeded);
  EXPECT_EQ(exitStatus(status), 0);
  EXPECT_EQ(box.backupFolders().size(), 1u);
  EXPECT_EQ(differences(installedSnapshot(), box.snapshot()), "");
  if (!::testing::Test::HasFailure()) {
    std::cout << "[ harness ] lock: two installs started together, one proceeded, one refused at once\n";
  }
}

TEST(InstallLock, AChildStartedDuringAnInstallNeverHoldsTheLock) {
  // The installer starts a child (as the window does when it opens Rhino
  // again) and then ends without unlocking, as in a crash: the lock must die
  // with it, not live on in the child.
  InstallSandbox box;
  Pipe spawned;
  const int status = runInChild([&] {
    box.engine()->install(box.targets(), std::nullopt, [&](const std::string&) {
      char sleep[] = "/bin/sleep";
      char seconds[] = "30";
      char* argv[] = {sleep, seconds, nullptr};
      pid_t child = -1;
      if (::posix_spawn(&child, "/bin/sleep", nullptr, nullptr, argv, environ) != 0) ::_exit(1);
      (void)!::write(spawned.ends[1], &child, sizeof child);
      ::_exit(kPowerCutStatus);
    });
  });
  ASSERT_EQ(status, kPowerCutStatus);
  pid_t child = -1;
  ASSERT_EQ(::read(spawned.ends[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
  ASSERT_TRUE(InstallEngine::isProcessRunning(child));
  EXPECT_EQ(FileLock(box.support() / "install.lock").outcome(), FileLock::Outcome::locked);
  EXPECT_NO_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress));
  ::kill(child, SIGTERM);
}

TEST(InstallLock, IsReleasedOnEveryWayOut) {
  InstallSandbox box;
  box.deployEarlier(8, "9.0.0");  // a newer version: refused while staging
  EXPECT_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress), InstallError);
  EXPECT_EQ(FileLock(box.support() / "install.lock").outcome(), FileLock::Outcome::locked);

  EXPECT_THROW(box.engine()->install(box.targets(), std::nullopt,
                                     [](const std::string&) { throw std::runtime_error("window gone"); }),
               std::runtime_error);
  EXPECT_EQ(FileLock(box.support() / "install.lock").outcome(), FileLock::Outcome::locked);
}

}  // namespace
}  // namespace nimbra::testing
