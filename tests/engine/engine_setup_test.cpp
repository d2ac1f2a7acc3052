#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <system_error>

#include "engine/install_engine.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

using testing::TemporaryFolder;

class EngineSetup : public ::testing::Test {
 protected:
  std::filesystem::path resources() const { return folder_.path() / "Payload"; }
  std::filesystem::path home() const { return folder_.path() / "home"; }
  InstallEngine engineWithVersion(const std::string& version) {
    testing::writeRelease(resources(), Release{version, {}});
    return InstallEngine(resources(), home());
  }

  TemporaryFolder folder_;
};

TEST_F(EngineSetup, AcceptsVersionsOfTheReleaseFormOnly) {
  for (const char* version : {"1.2.3", "1.2.3-beta.1", "10.0.0.7", "1.2.3--", "0.0.0", "1.2.3.rc-2"}) {
    EXPECT_EQ(engineWithVersion(version).release().version, version);
  }
  for (const char* version : {"1.2", "v1.2.3", "1.2.3-", "1.2.3+build", "1.2.3-rc_1", " 1.2.3", "", "1.2.3 ",
                              "1..2.3", "1.2.3-\xc3\xa9", "\xd9\xa1.2.3"}) {
    EXPECT_EQ(testing::thrownMessage([&] { engineWithVersion(version); }), "The installer version is invalid.") << version;
  }
}

// A manifest too large to be one is not read, and a home or payload folder
// spelt with a trailing slash is the same folder.
TEST_F(EngineSetup, RefusesAGiantManifestAndReadsPathsAsTheyAre) {
  testing::writeFile(resources() / "release.json", "{}");
  std::filesystem::resize_file(resources() / "release.json", 3ull << 30);
  EXPECT_THROW(InstallEngine(resources(), home()), DecodingError);
  testing::writeRelease(resources(), Release{"1.0.0", {}});
  const InstallEngine engine(resources().string() + "/", home().string() + "/");
  EXPECT_EQ(engine.support().string(), home().string() + "/Library/Application Support/Nimbra");
}

TEST(ProcessLiveness, NeverSignalsGroupsAndSeesTheLivingTheEndedAndTheDead) {
  EXPECT_FALSE(InstallEngine::isProcessRunning(0));
  EXPECT_FALSE(InstallEngine::isProcessRunning(-5));
  EXPECT_FALSE(InstallEngine::isProcessRunning(-1));
  EXPECT_TRUE(InstallEngine::isProcessRunning(::getpid()));

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(0);
  // Ended but not reaped: it still answers kill(pid, 0), yet is not running.
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(InstallEngine::isProcessRunning(child));
  ASSERT_EQ(::waitpid(child, nullptr, 0), child);
  EXPECT_FALSE(InstallEngine::isProcessRunning(child));
}

}  // namespace
}  // namespace nimbra
