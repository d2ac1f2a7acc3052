#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "engine/install_engine.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string shell(const std::string& script, double timeout = 10.0) {
  return InstallEngine::run("/bin/sh", {"-c", script}, timeout);
}

std::string failure(const std::string& script, double timeout = 10.0) {
  try {
    shell(script, timeout);
  } catch (const InstallError& error) {
    return error.what();
  }
  return "(no error)";
}

using testing::eventually;

// Success gives the output exactly; any other end fails with it trimmed.
TEST(ProcessRunner, ReturnsTheOutputExactlyOrFailsWithItTrimmedOrCannotStart) {
  EXPECT_EQ(shell("printf 'word\\n'"), "word\n");
  EXPECT_EQ(shell("printf '  spaced \\r\\n'"), "  spaced \r\n");
  EXPECT_EQ(InstallEngine::run("/bin/echo", {"two words", "*", "$HOME"}), "two words * $HOME\n");
  EXPECT_EQ(failure("printf '  oops, no packages  \\n' >&2; exit 1"), "oops, no packages");
  EXPECT_EQ(failure("exit 2"), "");
  EXPECT_EQ(failure("printf '\\342\\200\\250 both \\302\\205'; exit 3"), "both");
  EXPECT_EQ(failure("kill -9 $$"), "");
  // A missing executable is the platform's launch error, not a failed run.
  try {
    InstallEngine::run("/nonexistent/yak", {"list"});
    ADD_FAILURE() << "started a missing executable";
  } catch (const InstallError&) {
    ADD_FAILURE() << "a launch failure became an InstallError";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::no_such_file_or_directory);
  }
}

TEST(ProcessRunner, IsNeverBlockedByMegabytesOfOutput) {
  const std::string text = shell("head -c 3000000 /dev/zero | tr '\\0' a; head -c 3000000 /dev/zero | tr '\\0' b >&2");
  ASSERT_EQ(text.size(), 6'000'000u);
  EXPECT_EQ(text.front(), 'a');
  EXPECT_EQ(text.back(), 'b');
}

TEST(ProcessRunner, TimesOutSendsTheQuitRequestAndLeavesNoZombie) {
  testing::TemporaryFolder folder;
  const fs::path pidFile = folder.path() / "pid";
  const fs::path termFile = folder.path() / "term";
  const auto start = Clock::now();
  EXPECT_EQ(failure("echo $$ > '" + pidFile.string() + "'; trap 'echo got > \"" + termFile.string() +
                        "\"; exit 0' TERM; sleep 30 & wait",
                    0.3),
            "The application did not respond. Close Rhino and try again.");
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "waited for the child";
  EXPECT_TRUE(eventually([&] { return fs::exists(termFile); })) << "the child never received SIGTERM";

  const std::string pid = testing::readFile(pidFile).substr(0, testing::readFile(pidFile).find('\n'));
  EXPECT_TRUE(eventually([&] { return !fs::exists("/proc/" + pid); })) << "the child stayed a zombie";
}

TEST(ProcessRunner, LeaksNoDescriptorIntoTheChild) {
  const int inheritable = ::open("/dev/null", O_RDONLY);  // deliberately without O_CLOEXEC
  ASSERT_GE(inheritable, 3);
  const std::string fd = std::to_string(inheritable);
  // A test built into the shell, so the shell opens nothing of its own.
  EXPECT_EQ(shell("if [ -e /proc/$$/fd/" + fd + " ]; then echo leaked; else echo clean; fi"), "clean\n");
  EXPECT_EQ(shell("[ -e /proc/$$/fd/0 ] && [ -e /proc/$$/fd/2 ] && echo streams"), "streams\n");
  ::close(inheritable);
}

}  // namespace
}  // namespace nimbra
