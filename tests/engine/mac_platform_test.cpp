// What only the Mac half of the platform layer does, run here against the
// stand-ins for the Mac's calls (tests/mac): built in the Mac-emulated build
// alone. What both halves do is shown by the rest of the suite, which runs
// over either.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/platform/file_manager.h"
#include "engine/platform/running_applications.h"
#include "engine/platform/system_calls.h"
#include "engine/platform/unique_fd.h"
#include "tests/support/sandbox.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

// Sets an environment variable for the test's length, as a stand-in reads it.
class Setting {
 public:
  Setting(const char* name, const std::string& value) : name_(name) { ::setenv(name, value.c_str(), 1); }
  ~Setting() { ::unsetenv(name_); }

 private:
  const char* name_;
};

class MacPlatform : public ::testing::Test {
 protected:
  fs::path at(const std::string& relative) const { return folder_.path() / relative; }
  std::string calls() const { return fs::exists(at("calls")) ? readFile(at("calls")) : ""; }
  // A simulated Rhino running in the desktop session given.
  pid_t startRhino(const std::string& session) {
    simulated::makeRhinoBundle(at("Rhino 8.app"), {.major = 8});
    const Setting inSession("NIMBRA_MAC_SESSION", session);
    return rhino_ = simulated::launchRhino(at("Rhino 8.app"));
  }
  void TearDown() override {
    if (rhino_ > 0) ::kill(rhino_, SIGKILL), ::waitpid(rhino_, nullptr, 0);
  }

  testing::TemporaryFolder folder_;
  Setting record_{"NIMBRA_MAC_CALLS", at("calls")};
  pid_t rhino_ = -1;
};

TEST_F(MacPlatform, ADurableWriteEmptiesTheDrivesCacheAPlainOneDoesNot) {
  writeFile(at("file"), "bytes");
  const UniqueFd fd(::open(at("file").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_EQ(SystemCalls::real().sendToDrive(fd.get()), 0);
  EXPECT_EQ(calls(), "");
  ASSERT_EQ(SystemCalls::real().fsync(fd.get()), 0);
  EXPECT_EQ(calls(), "F_FULLFSYNC " + at("file").string() + "\n");
}

TEST_F(MacPlatform, AMoveOnAVolumeWithoutExclusiveRenamesStillNeverReplaces) {
  const Setting noExclusive("NIMBRA_MAC_NO_RENAME_EXCL", folder_.path().string());
  writeFile(at("a"), "new");
  writeFile(at("b"), "old");
  FileManager fm;
  try {
    fm.moveItem(at("a"), at("b"));
    ADD_FAILURE() << "replaced what was there";
  } catch (const fs::filesystem_error& error) {
    EXPECT_EQ(error.code(), std::errc::file_exists);
  }
  fm.moveItem(at("a"), at("c"));
  EXPECT_EQ(readFile(at("b")), "old");
  EXPECT_EQ(readFile(at("c")), "new");
}

TEST_F(MacPlatform, AProcesssEnvironmentIsReadFromItsArgumentBlockAndNothingElse) {
  // The last argument looks like an entry: read one string off, it would be one.
  // A group of its own, ended whole: the shell's sleep would otherwise
  // outlive it, holding the test's output open for its 30 seconds.
  const pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    const char* argv[] = {"sh", "-c", "sleep 30; :", "NAME=an argument", nullptr};
    const char* envp[] = {"HOME=/Users/ada", "LANG=fr_FR.UTF-8", nullptr};
    ::execve("/bin/sh", const_cast<char**>(argv), const_cast<char**>(envp));
    ::_exit(127);
  }
  std::vector<std::string> environment;
  EXPECT_TRUE(testing::eventually([&] {
    environment = environmentOf(child);
    return std::find(environment.begin(), environment.end(), "HOME=/Users/ada") != environment.end();
  }));
  ::kill(-child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  ASSERT_GE(environment.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(environment.begin(), environment.begin() + 2),
            (std::vector<std::string>{"HOME=/Users/ada", "LANG=fr_FR.UTF-8"}));
  EXPECT_EQ(std::count(environment.begin(), environment.end(), "NAME=an argument"), 0);
}

TEST_F(MacPlatform, TheProcessListIsAsLongAsTheKernelSays) {
  const pid_t rhino = startRhino("501");
  const Setting crowded("NIMBRA_MAC_PROCESSES", "5000");
  const std::vector<RunningApplication> running = runningApplications();
  EXPECT_TRUE(std::any_of(running.begin(), running.end(), [&](const auto& app) { return app.pid == rhino; }));
}

TEST_F(MacPlatform, AQuitReachesOnlyARhinoOfThisSessionThatAccepts) {
  const pid_t rhino = startRhino("501");
  {
    const Setting elsewhere("NIMBRA_MAC_SESSION", "502");
    EXPECT_FALSE(requestQuit(rhino)) << "AppKit answered nil: not delivered";
    const Setting here("NIMBRA_MAC_SESSION", "501"), refusing("NIMBRA_MAC_TERMINATE", "refuse");
    EXPECT_FALSE(requestQuit(rhino)) << "terminate answered NO: not delivered";
  }
  const Setting here("NIMBRA_MAC_SESSION", "501");
  EXPECT_TRUE(requestQuit(rhino));
  EXPECT_NE(calls().find("terminate " + std::to_string(rhino) + " in session 501"), std::string::npos) << calls();
}

TEST_F(MacPlatform, LaunchServicesOpensAnApplicationOnlyInADesktopSession) {
  simulated::makeRhinoBundle(at("Rhino 8.app"), {.major = 8});
  ::unsetenv("NIMBRA_MAC_SESSION");
  try {
    openApplication(at("Rhino 8.app"), {});
    ADD_FAILURE() << "open's failure was taken for an opening";
  } catch (const std::exception& error) {
    EXPECT_EQ(std::string(error.what()), "LSOpenURLsWithRole() failed with error -600 for the file " +
                                             at("Rhino 8.app").string() + ".");
  }
  const Setting here("NIMBRA_MAC_SESSION", "501");
  EXPECT_NO_THROW(openApplication(at("Rhino 8.app"), {}));
  EXPECT_NE(calls().find("open -a " + at("Rhino 8.app").string() + " as "), std::string::npos) << calls();
  EXPECT_TRUE(testing::eventually([&] {
    const std::vector<RunningApplication> running = runningApplications();
    return std::any_of(running.begin(), running.end(), [&](const auto& app) {
      return app.bundle == at("Rhino 8.app") && ::kill(app.pid, SIGTERM) == 0;
    });
  })) << "not opened";
}

}  // namespace
}  // namespace nimbra
