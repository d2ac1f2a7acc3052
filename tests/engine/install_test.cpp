#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <set>
#include <sstream>
#include <tuple>

#include "engine/failure_text.h"
#include "engine/free_space.h"
#include "engine/platform/file_lock.h"
#include "engine/verification.h"
#include "tests/support/install_sandbox.h"
#include "tests/support/power_cut_disk.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::InstallSandbox;
using testing::PowerCutDisk;
using testing::readFile;
using testing::Snapshot;

class Install : public ::testing::Test {
 protected:
  // Runs an install and returns the thrown message ("" on success).
  std::string failure(const std::vector<RhinoTarget>& targets, FileManager& fm = FileManager::standard()) {
    return testing::thrownMessage([&] {
      backup_ = box_.engine(fm)->install(targets, std::nullopt, [](const ProgressStep&) {});
    });
  }
  std::set<std::string> names(const fs::path& folder) {
    std::set<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) found.insert(entry.path().filename().string());
    return found;
  }
  void expectDeployed(std::int64_t major) {
    EXPECT_EQ(names(box_.destination(major)), (std::set<std::string>{"1.3.0", "manifest.txt"}));
    EXPECT_EQ(readFile(box_.destination(major) / "manifest.txt"), "1.3.0\n");
    EXPECT_NO_THROW(verify(box_.engine()->fileManager(), box_.release().packages[major == 7 ? 0 : 1],
                                          box_.destination(major) / "1.3.0"));
  }

  InstallSandbox box_;
  fs::path backup_;
};

// A payload from a downloaded installer may carry com.apple.quarantine, and
// Rhino may refuse a plug-in so marked: cloned (a Mac's APFS: every folder
// can clone here) or copied, the installed file carries its bytes alone.
TEST_F(Install, TheInstalledCopyCarriesNoExtendedAttributeOfThePayload) {
  const fs::path gha = box_.resources() / "Rhino8/Nimbra.gha";
  ASSERT_EQ(::setxattr(gha.c_str(), "user.com.apple.quarantine", "0081;00000000;Safari;", 21, 0), 0);
  const fs::path calls = box_.root() / "mac-calls";
  ::setenv("NIMBRA_MAC_CLONES", "", 1);
  ::setenv("NIMBRA_MAC_CALLS", calls.c_str(), 1);
  ASSERT_EQ(failure(box_.targets({8})), "");
  ::unsetenv("NIMBRA_MAC_CLONES");
  ::unsetenv("NIMBRA_MAC_CALLS");
  EXPECT_EQ(::getxattr((box_.destination(8) / "1.3.0/Nimbra.gha").c_str(), "user.com.apple.quarantine", nullptr, 0), -1);
  if (NIMBRA_MAC) {
    EXPECT_NE(readFile(calls).find("clone "), std::string::npos) << "staged by copy, not by clone";
  }
}

// Targets that are not one for each version are refused before anything but
// the log is written; one target is installed, reported and recorded.
TEST_F(Install, RefusesEmptyOrDuplicateTargetsThenDeploysReportsAndRecordsOne) {
  EXPECT_EQ(failure({}), "Choose one installation for each Rhino version.");
  EXPECT_EQ(failure(box_.targets({8, 8})), "Choose one installation for each Rhino version.");
  EXPECT_EQ(names(box_.home() / "Library/Application Support"), std::set<std::string>{"Nimbra"});
  EXPECT_EQ(names(box_.support()), std::set<std::string>{"Logs"});
  EXPECT_TRUE(readFile(box_.support() / "Logs/install.log").ends_with("  Choose one installation for each Rhino version.\n"));

  ASSERT_EQ(failure(box_.targets({8})), "");
  expectDeployed(8);
  EXPECT_EQ(box_.receiptIn(backup_).deploying, std::vector<std::string>{box_.destination(8).string()});
  EXPECT_EQ(fs::status(box_.support() / "install.lock").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(Install, RemovesTheStagingFoldersOfCutOffInstallsAndNothingElse) {
  const fs::path root = box_.standardRoot(8);
  const std::string uuid = "6B1E0C2A-3F4D-4E5F-8A9B-0C1D2E3F4A5B";
  testing::writeFile(root / (".nimbra-install-" + uuid) / "1.3.0/Nimbra.gha", "staged");
  testing::writeFile(root / ".nimbra-install-0a1b2c3d-4e5f-4061-8273-8495a6b7c8d9/1.3.0/lib/x", "partly");
  const std::vector<std::string> kept = {".nimbra-install-6B1E0C2A", ".nimbra-install-" + uuid + "-old",
                                         ".nimbra-installer-" + uuid, ".hidden"};
  for (const std::string& name : kept) testing::writeFile(root / name / "keep", "theirs");
  testing::writeFile(box_.home() / "Elsewhere/keep", "theirs");
  fs::create_directory_symlink(box_.home() / "Elsewhere", root / ".nimbra-install-0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9");
  testing::writeFile(box_.standardRoot(7) / ".nimbra-install-11111111-2222-4333-8444-555555555555", "a file");

  ASSERT_EQ(failure(box_.targets({7, 8})), "");
  EXPECT_FALSE(fs::exists(root / (".nimbra-install-" + uuid)));
  EXPECT_FALSE(fs::exists(root / ".nimbra-install-0a1b2c3d-4e5f-4061-8273-8495a6b7c8d9"));
  for (const std::string& name : kept) EXPECT_EQ(readFile(root / name / "keep"), "theirs") << name;
  EXPECT_TRUE(fs::is_symlink(root / ".nimbra-install-0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9"));
  EXPECT_EQ(readFile(box_.home() / "Elsewhere/keep"), "theirs");
  EXPECT_EQ(readFile(box_.standardRoot(7) / ".nimbra-install-11111111-2222-4333-8444-555555555555"), "a file");
}

// Each step is counted where it happens, once, against a total fixed before
// the first: the recovery and the clean-up an install starts with are steps
// of it too, so a display of step / steps only rises and ends at its end.
TEST_F(Install, CountsEachStepOnceAgainstATotalFixedBeforeTheFirst) {
  std::vector<ProgressStep> steps;
  const auto record = [&](const ProgressStep& step) { steps.push_back(step); };
  const auto expectCounted = [&](const std::vector<std::string>& texts) {
    ASSERT_EQ(steps.size(), texts.size());
    for (std::size_t i = 0; i < steps.size(); ++i) {
      EXPECT_EQ(steps[i].text, texts[i]);
      EXPECT_EQ(steps[i].step, i + 1) << texts[i];
      EXPECT_EQ(steps[i].steps, texts.size()) << texts[i];
    }
    steps.clear();
  };
  box_.cutOffUpgrade(7);
  testing::writeFile(box_.standardRoot(8) / ".nimbra-install-6B1E0C2A-3F4D-4E5F-8A9B-0C1D2E3F4A5B/1.3.0/x", "staged");
  const std::unique_ptr<InstallEngine> engine = box_.engine();
  engine->install(box_.targets(), std::nullopt, record);
  expectCounted({"Restoring the interrupted installation…", "Cleaning up an interrupted installation…",
                 "Checking Rhino 7 files…", "Checking Rhino 8 files…", "Backing up the previous installation…",
                 "Installing Nimbra for Rhino 7…", "Installing Nimbra for Rhino 8…"});
  const fs::path removed = engine->uninstall(box_.targets(), record);
  expectCounted({"Moving Nimbra into a backup folder…", "Removing Nimbra for Rhino 7…", "Removing Nimbra for Rhino 8…"});
  engine->restore(removed, box_.targets(), record);
  expectCounted({"Backing up the present installation…", "Restoring the backup…"});
}

TEST_F(Install, KeepsALogOfWhatItDidAndNeverStopsForIt) {
  box_.deployEarlier(8, "1.2.0");
  const std::unique_ptr<InstallEngine> engine = box_.engine();
  engine->log().begin("Nimbra Setup 1.3.0, in a test");
  ASSERT_EQ(testing::thrownMessage([&] { engine->install(box_.targets({8}), std::nullopt, [](const ProgressStep&) {}); }),
            "");
  engine->log().end("The test ended.");
  const fs::path log = box_.support() / "Logs/install.log";
  const std::string pid = "  " + std::to_string(::getpid()) + "  ";
  const fs::path backup = box_.backupFolders().at(0);
  std::vector<std::string> lines;
  for (std::istringstream text(readFile(log)); lines.emplace_back(), std::getline(text, lines.back());) {
    EXPECT_NE(lines.back().find("Z" + pid), std::string::npos) << lines.back();
    lines.back().erase(0, lines.back().find(pid) + pid.size());
  }
  lines.pop_back();
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Nimbra Setup 1.3.0, in a test",
                       "Install of Nimbra 1.3.0 began for Rhino 8 in " + box_.standardRoot(8).string() + ".",
                       "Moved " + box_.destination(8).string() + " to " + (backup / "0-nimbra").string(),
                       "Installed Nimbra 1.3.0 for Rhino 8 into " + box_.destination(8).string(),
                       "Install finished. Backup folder: " + backup.string(), "The test ended."}));

  testing::writeFile(box_.destination(7) / "9.0.0/x", "");
  box_.writeProductFile(box_.destination(7) / "9.0.0/Nimbra.gha", "newer");
  EXPECT_EQ(failure(box_.targets({7})), "A newer Nimbra version is already installed for Rhino 7.");
  EXPECT_TRUE(readFile(log).ends_with(pid + "A newer Nimbra version is already installed for Rhino 7.\n"));

  // Past a megabyte the log moves aside once; the older one is replaced.
  testing::writeFile(box_.support() / "Logs/install.1.log", "oldest");
  testing::writeFile(log, std::string(1'000'001, 'x'));
  engine->log().write("After the turn.");
  EXPECT_EQ(fs::file_size(box_.support() / "Logs/install.1.log"), 1'000'001u);
  EXPECT_TRUE(readFile(log).ends_with(pid + "After the turn.\n"));

  fs::remove_all(box_.support() / "Logs");
  testing::writeFile(box_.support() / "Logs", "a file where the log folder belongs");
  fs::remove_all(box_.destination(7));
  EXPECT_EQ(engine->log().firstFailure(), "");
  EXPECT_EQ(testing::thrownMessage([&] { engine->install(box_.targets({7, 8}), std::nullopt, [](const ProgressStep&) {}); }),
            "")
      << "an unwritable log changes nothing";
  expectDeployed(7);
  EXPECT_NE(engine->log().firstFailure(), "");
}

TEST_F(Install, ComparesTheInstalledVersionNumericallyByItsVersionFolders) {
  // release, installed, refused
  for (const auto& [release, installed, refused] : {std::tuple{"1.9.9", "2.0.0", true}, {"1.9.0", "1.10.0", true},
                                                    {"1.3.0", "1.3.0", false}, {"2.0.0", "2.0.0-beta", false},
                                                    {"1.3.0-rc.1", "1.3.0", false}, {"1.3.0", "1.2.9", false}}) {
    InstallSandbox box(release, {8});
    box.deployEarlier(8, installed);
    const Snapshot before = box.snapshot();
    const std::string message =
        testing::thrownMessage([&] { box.engine()->install(box.targets({8}), std::nullopt, [](const ProgressStep&) {}); });
    EXPECT_EQ(message, refused ? "A newer Nimbra version is already installed for Rhino 8." : "") << installed;
    EXPECT_EQ(box.snapshot() == before, refused) << "changed only when installed: " << installed;
  }
  // Only the entries named as versions are compared.
  box_.writeProductFile(box_.destination(8) / "1.0.0/Nimbra.gha", "old");
  testing::writeFile(box_.destination(8) / "manifest.txt", "1.0.0\n");
  testing::writeFile(box_.destination(8) / ".9.9.9", "hidden");
  fs::create_directories(box_.destination(8) / "nine.nine.nine");
  EXPECT_EQ(failure(box_.targets({8})), "");
}

TEST_F(Install, RefusesADestinationWithoutTheProductBeforeComparingVersionsOrUninstalling) {
  testing::writeFile(box_.destination(8) / "99.0.0/Other.gha", "someone else's");
  const Snapshot before = box_.snapshot();
  const std::string refused = "The destination contains an unrecognized package: " + box_.destination(8).string();
  EXPECT_EQ(failure(box_.targets({8})), refused);
  EXPECT_EQ(box_.snapshot(), before);
  EXPECT_EQ(testing::thrownMessage([&] { box_.engine()->uninstall(box_.targets({8}), [](const ProgressStep&) {}); }),
            refused);
  EXPECT_EQ(readFile(box_.destination(8) / "99.0.0/Other.gha"), "someone else's");
}

// 1 and 2: free space counts a block for every folder, and is measured where
// the package root would be made when it does not exist yet.
TEST(FreeSpace, CountsEveryFolderAndLooksUpToTheNearestFolderThatExists) {
  struct FixedSpace : FileManager {
    std::uint64_t blocks = 0;
    std::optional<FileSystemSpace> spaceFor(const fs::path&) const override { return FileSystemSpace{1, 4096, blocks * 4096}; }
  } disk;
  // One byte in a/b/c: a block for it, three for a, a/b and a/b/c, three for
  // the staging and version folders and the manifest.
  const Release release{"1.3.0", {{8, "Rhino8", {{"a/b/c/x.txt", std::string(64, '0'), 1}}}}};
  const std::vector<RhinoTarget> targets{{8, "/Applications/Rhino 8.app", "/nowhere/8.0"}};
  disk.blocks = 6;
  EXPECT_NE(testing::thrownMessage([&] { requireFreeSpace(disk, release, targets); }), "");
  disk.blocks = 7;
  EXPECT_EQ(testing::thrownMessage([&] { requireFreeSpace(disk, release, targets); }), "");
  testing::TemporaryFolder folder;
  const std::optional<FileSystemSpace> existing = FileManager::standard().spaceFor(folder.path());
  const std::optional<FileSystemSpace> missing = FileManager::standard().spaceFor(folder.path() / "not/yet/made");
  ASSERT_TRUE(existing && missing);
  EXPECT_EQ(missing->device, existing->device);
}

// A second install fails at once while the lock is held, and a lock file
// that is a link is never opened.
TEST_F(Install, ASecondInstallFailsAtOnceWhileTheLockIsHeldOrALinkStandsForIt) {
  fs::create_directories(box_.support());
  const Snapshot before = box_.snapshot();
  {
    const FileLock held(box_.support() / "install.lock");
    ASSERT_EQ(held.outcome(), FileLock::Outcome::locked);
    EXPECT_EQ(failure(box_.targets({8})), "Another Nimbra installation is already running.");
    EXPECT_EQ(box_.snapshot(), before);
    EXPECT_FALSE(fs::exists(box_.support() / "Backups"));
  }
  EXPECT_EQ(failure(box_.targets({8})), "");
  fs::remove(box_.support() / "install.lock");
  testing::writeFile(box_.home() / "elsewhere", "");
  fs::create_symlink(box_.home() / "elsewhere", box_.support() / "install.lock");
  EXPECT_EQ(failure(box_.targets({8})), "The installation folder cannot be opened: " + box_.support().string());
}

}  // namespace
}  // namespace nimbra
