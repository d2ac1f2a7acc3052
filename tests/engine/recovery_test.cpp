#include <gtest/gtest.h>

#include "engine/recovery.h"
#include "tests/support/install_sandbox.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::InstallSandbox;
using testing::readFile;
using testing::writeFile;

// How every refusal that leaves a backup folder to the user goes on.
const std::string kWayOut =
    " When the Rhino package folders hold what you expect, move that folder out of Backups; Nimbra Setup --restore can "
    "then put back a finished backup.";

class RecoveringAnInstall : public ::testing::Test {
 protected:
  fs::path backups() const { return box_.support() / "Backups"; }

  // A backup folder holding receipt, as an interrupted install leaves it.
  fs::path interrupted(const std::string& name, const InstallReceipt& receipt) {
    const fs::path folder = backups() / name;
    fs::create_directories(folder);
    writeFile(folder / "receipt.json", encodeReceipt(receipt));
    return folder;
  }
  // The new release deployed for major, as the install's rename leaves it.
  void deployNew(std::int64_t major, const fs::path& destination) {
    fs::create_directories(destination);
    fs::copy(box_.resources() / ("Rhino" + std::to_string(major)), destination / "1.3.0", fs::copy_options::recursive);
    writeFile(destination / "manifest.txt", "1.3.0\n");
  }
  fs::path cutOffUpgrade(const std::string& name = "2025-01-01T00-00-00Z-AAAAAAAA") { return box_.cutOffUpgrade(8, name); }
  std::string failure(FileManager& fm = FileManager::standard(), const std::vector<RhinoTarget>& targets = {}) {
    return testing::thrownMessage([&] {
      nimbra::Recovery(*box_.engine(fm)).recoverInterrupted([&](const ProgressStep& step) { progress_.push_back(step.text); }, targets);
    });
  }

  InstallSandbox box_;
  std::vector<std::string> progress_;
};

TEST_F(RecoveringAnInstall, DoesNothingWithoutInterruptedReceiptsAndRefusesAnotherReleases) {
  EXPECT_EQ(failure(), "");
  fs::create_directories(backups() / "no receipt");
  writeFile(backups() / "stray file", "x");
  interrupted("a", {"1.3.0", "complete", {}, {}, {}});
  interrupted("b", {"1.3.0", "restored", {}, {}, {}});
  interrupted("c", {"0.1.0", "preparing", {}, {}, {}});
  interrupted("d", {"1.3.0", "unheard-of", {}, {}, {}});
  const std::string receipt = readFile(backups() / "a/receipt.json");
  EXPECT_EQ(failure(), "");
  EXPECT_TRUE(progress_.empty());
  EXPECT_EQ(readFile(backups() / "a/receipt.json"), receipt);
  // An interrupted receipt of another release is refused, whatever else holds.
  const fs::path folder = interrupted("e", {"1.2.0", "installing", {}, {}, {}});
  EXPECT_EQ(failure(), "A previous update was interrupted. Restore its backup before continuing: " + folder.string() +
                           "." + kWayOut);
  EXPECT_EQ(box_.receiptIn(folder).state, "installing");
}

TEST_F(RecoveringAnInstall, RefusesADeployThatDoesNotLookLikeARhinoPackageFolder) {
  const fs::path root = box_.home() / "Library/Application Support/McNeel/Rhinoceros/packages";
  for (const fs::path& destination : {root / "8.0/other", root / "Rhino8/nimbra", root / "9.0/nimbra", root / "./nimbra"}) {
    fs::remove_all(backups());
    deployNew(8, destination);
    const fs::path folder = interrupted("a", {"1.3.0", "installing", {}, {}, {destination.string()}});
    EXPECT_EQ(failure(), "The installation backup needs manual recovery: " + folder.string() + "." + kWayOut)
        << destination;
    EXPECT_TRUE(fs::exists(destination / "1.3.0/Nimbra.gha"));
    fs::remove_all(destination);
  }
}

TEST_F(RecoveringAnInstall, MatchesADeployToThePackageOfItsMajorByTheFolderName) {
  // A package root that Rhino's yak reports: for the Rhino being installed,
  // or for one that discovery finds.
  const fs::path destination = box_.home() / "custom/7.0.1/nimbra";
  deployNew(7, destination);
  interrupted("a", {"1.3.0", "installing", {}, {}, {destination.string()}});
  EXPECT_EQ(failure(FileManager::standard(), {{7, "/Applications/Rhino 7.app", destination.parent_path()}}), "");
  EXPECT_FALSE(fs::exists(destination));

  const fs::path found = box_.home() / "Shared/packages/7.0/nimbra";
  deployNew(7, found);
  interrupted("a", {"1.3.0", "installing", {}, {}, {found.string()}});
  simulated::makeRhinoBundle(box_.home() / "Applications/Rhino 7.app",
                             {.major = 7, .yakOutput = found.parent_path().string() + "\n"});
  EXPECT_EQ(failure(), "");
  EXPECT_FALSE(fs::exists(found));
}

TEST_F(RecoveringAnInstall, UsesNoReceiptThatNamesAPlaceTheInstallerNeverWrites) {
  const fs::path outside = box_.home() / "Documents";
  const fs::path elsewhere = outside / "8.0/nimbra";
  const std::string destination = box_.destination(8).string();
  struct Planted {
    std::string original;    // moved back to, from <folder>/0-item
    std::string deploying;   // removed, holding a copy of the payload
    std::optional<CrossMove> across = std::nullopt;  // its aside removed
  };
  const std::string library = (box_.sharedLibraries() / "Nimbra.gha").string();
  const std::string staging = ".nimbra-install-6B1E0C2A-3F4D-4E5F-8A9B-0C1D2E3F4A5B";
  const std::vector<Planted> cases = {
      {(outside / "Report.gha").string(), ""},
      {(outside / "Notes").string(), ""},
      {(box_.sharedLibraries() / ".hidden/Nimbra.gha").string(), ""},
      {(box_.sharedLibraries() / "Readme.txt").string(), ""},
      {destination + "/../../../../../../../Documents/Report.gha", ""},
      {"", elsewhere.string()},
      {"", box_.standardRoot(8).string() + "/../8.0/nimbra"},
      {"", (box_.standardRoot(8) / "nimbra/nimbra").string()},
      {library, "", CrossMove{(outside / staging).string(), "kept"}},
      {library, "", CrossMove{(box_.sharedLibraries() / "Other.gha").string(), "kept"}},
      {library, "", CrossMove{(box_.sharedLibraries() / staging).string(), "copied"}},
  };
  for (const Planted& planted : cases) {
    fs::remove_all(backups());
    fs::remove_all(outside);
    const fs::path folder = backups() / "a";
    InstallReceipt receipt{"1.3.0", "installing", {destination}, {}, {}};
    if (!planted.original.empty()) {
      writeFile(folder / "0-item", "the user's");
      receipt.backups.push_back({planted.original, (folder / "0-item").string(), planted.across});
    }
    if (planted.across) writeFile(planted.across->aside, "the user's too");
    if (!planted.deploying.empty()) {
      deployNew(8, elsewhere);
      receipt.deploying.push_back(planted.deploying);
    }
    interrupted("a", receipt);
    EXPECT_EQ(failure(), "The installation record names a place outside the Rhino and Grasshopper folders and was not "
                         "used. Move its backup folder out of Backups: " + folder.string())
        << planted.original << planted.deploying;
    EXPECT_EQ(planted.original.empty() || fs::exists(folder / "0-item"), true) << planted.original;
    EXPECT_EQ(!planted.across || fs::exists(planted.across->aside), true) << planted.original;
    EXPECT_EQ(planted.deploying.empty() || fs::exists(elsewhere / "1.3.0/Nimbra.gha"), true) << planted.deploying;
    EXPECT_EQ(box_.receiptIn(folder).state, "installing");
  }
  // The same shapes where the installer does write are put back.
  fs::remove_all(backups());
  const fs::path folder = backups() / "a";
  writeFile(folder / "0-Nimbra.gha", "older copy");
  writeFile(folder / "1-Nimbra.gha", "copy in a package folder");
  fs::create_directories(box_.sharedLibraries() / "Old");
  fs::create_directories(box_.standardRoot(7));
  const std::vector<BackupItem> items = {
      {(box_.sharedLibraries() / "Old/Nimbra.GHA").string(), (folder / "0-Nimbra.gha").string()},
      {(box_.standardRoot(7) / "Nimbra.gha").string(), (folder / "1-Nimbra.gha").string()}};
  interrupted("a", {"1.3.0", "installing", {destination}, items, {}});
  EXPECT_EQ(failure(), "");
  EXPECT_EQ(readFile(box_.sharedLibraries() / "Old/Nimbra.GHA"), "older copy");
  EXPECT_EQ(readFile(box_.standardRoot(7) / "Nimbra.gha"), "copy in a package folder");
}

TEST_F(RecoveringAnInstall, AnUnreadableReceiptIsNamedAndNothingIsUndone) {
  const fs::path upgrade = cutOffUpgrade("b");
  writeFile(backups() / "a/receipt.json", R"({"version": "1.0.0", "state": "compl)");
  const std::string file = (backups() / "a/receipt.json").string();
  const std::string message = failure();
  EXPECT_EQ(message, "The installation record \u201c" + file + "\u201d cannot be read." + kWayOut);
  fs::rename(backups() / "a", box_.home() / "a");
  EXPECT_EQ(failure(), "");
  EXPECT_EQ(box_.receiptIn(upgrade).state, "restored");
  const std::string log = readFile(box_.support() / "Logs/install.log");
  const std::string destination = box_.destination(8).string();
  for (const std::string& line : {"Recovery: removed the interrupted copy at " + destination,
                                  "Recovery: put " + (upgrade / "0-nimbra").string() + " back at " + destination}) {
    EXPECT_NE(log.find("  " + line + "\n"), std::string::npos) << line << "\nin:\n" << log;
  }
}

TEST_F(RecoveringAnInstall, RefusesADeployWithAnythingBesideTheVersionAndManifestOrDamaged) {
  const fs::path folder = cutOffUpgrade();
  const std::string expected =
      "The interrupted installation contains additional files. Restore its backup manually: " + folder.string() + "." +
      kWayOut;
  writeFile(box_.destination(8) / ".DS_Store", "");
  EXPECT_EQ(failure(), expected);
  fs::remove(box_.destination(8) / ".DS_Store");

  writeFile(box_.destination(8) / "manifest.txt", "1.3.1\n");
  EXPECT_EQ(failure(), expected);
  // A damaged one is not removed: the verification's error is passed on.
  writeFile(box_.destination(8) / "manifest.txt", "1.3.0\n");
  writeFile(box_.destination(8) / "1.3.0/lib/Companion.dll", "bit rot");
  EXPECT_EQ(failure(), "A file is damaged: lib/Companion.dll. Download the installer again.");
  EXPECT_TRUE(fs::exists(box_.destination(8) / "1.3.0"));
  writeFile(box_.destination(8) / "1.3.0/lib/Companion.dll", "companion for Rhino8");
  writeFile(box_.destination(8) / "manifest.txt", " 1.3.0\r\n\t");
  EXPECT_EQ(failure(), "");
}

TEST_F(RecoveringAnInstall, RefusesABackupOutsideItsFolderAndBackupsBehindLinks) {
  const fs::path folder = backups() / "a";
  fs::create_directories(folder / "sub");
  writeFile(folder / "sub/0-x.gha", "x");
  interrupted("a", {"1.3.0", "installing", {}, {{(box_.home() / "x.gha").string(), (folder / "sub/0-x.gha").string()}}, {}});
  EXPECT_EQ(failure(), "The backup path is invalid.");

  fs::remove_all(backups());
  writeFile(folder / "0-x.gha", "x");
  fs::create_directories(box_.home() / "real");
  fs::create_directory_symlink(box_.home() / "real", box_.home() / "linked");
  interrupted("a", {"1.3.0", "installing", {}, {{(box_.home() / "linked/x.gha").string(), (folder / "0-x.gha").string()}}, {}});
  EXPECT_EQ(failure(), "Choose a folder without symbolic links: " + (box_.home() / "linked").string());
  EXPECT_TRUE(fs::exists(folder / "0-x.gha"));
}

}  // namespace
}  // namespace nimbra
