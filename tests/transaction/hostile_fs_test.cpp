// The installer runs over folders that other programs, and other people, can
// change. A symbolic link planted anywhere on its way, a receipt cut short, a
// name that is not UTF-8, a read-only or full file system: each is refused
// with a clear error, and nothing is lost or written outside the intended
// folders.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>


#include "engine/platform/file_manager.h"
#include "engine/recovery.h"
#include "tests/support/power_cut_disk.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

std::string installFailure(InstallSandbox& box, FileManager& fm = FileManager::standard()) {
  return thrownMessage([&] { box.engine(fm)->install(box.targets(), std::nullopt, ignoreProgress); });
}

bool isLinkRefusal(const std::string& message) {
  return message.starts_with("Choose a folder without symbolic links: ") ||
         message.starts_with("A linked plug-in folder needs to be updated manually: ");
}

// Replaces folder by a link to a copy of it beside it, "<name>.real".
void linkInPlace(const fs::path& folder) {
  fs::path real = folder;
  real += ".real";
  fs::rename(folder, real);
  fs::create_directory_symlink(real.filename(), folder);
}

TEST(HostileFileSystem, ALinkAtAnyFolderOnTheWayIsRefusedAndNothingChanges) {
  const std::string rhinoceros = "Library/Application Support/McNeel/Rhinoceros";
  const std::vector<std::string> folders = {
      "Library", "Library/Application Support", "Library/Application Support/Nimbra",
      "Library/Application Support/Nimbra/Backups", "Library/Application Support/McNeel", rhinoceros,
      rhinoceros + "/packages", rhinoceros + "/packages/8.0", rhinoceros + "/packages/8.0/nimbra",
      rhinoceros + "/packages/8.0/nimbra/1.2.1", rhinoceros + "/MacPlugIns", rhinoceros + "/MacPlugIns/Grasshopper",
      rhinoceros + "/MacPlugIns/Grasshopper/Libraries", "Grasshopper Extras", "Grasshopper Extras/old"};
  for (const std::string& folder : folders) {
    InstallSandbox box;
    prepareRealisticHome(box);
    fs::create_directories(box.support() / "Backups");
    linkInPlace(box.home() / folder);
    const Snapshot before = box.snapshot();
    const std::string message = installFailure(box);
    EXPECT_TRUE(isLinkRefusal(message)) << folder << ": " << message;
    EXPECT_EQ(differences(before, box.snapshot()), "") << folder;
  }
}

TEST(HostileFileSystem, AFolderSwappedForALinkBeforeTheDeployWritesNothingThere) {
  // Between the checks and the deploy's rename, the Rhino 8 package folder
  // becomes a link to a folder of someone else's.
  InstallSandbox box;
  prepareRealisticHome(box);
  writeFile(box.home() / "Foreign/unrelated.txt", "not ours");
  const Snapshot before = box.snapshot();
  PowerCutDisk disk(box.root());
  const fs::path root = box.standardRoot(8);
  fs::path aside = root;
  aside += ".swapped";
  disk.beforeCall([&](int, const std::string& call) {
    const bool deploy = call.starts_with("rename " + root.string() + "/.nimbra-install-") &&
                        call.ends_with(" -> " + (root / "nimbra").string());
    if (deploy && !fs::is_symlink(root)) {
      fs::rename(root, aside);
      fs::create_directory_symlink(box.home() / "Foreign", root);
    }
    return 0;
  });
  FileManager fm(disk);
  const std::string message = installFailure(box, fm);
  EXPECT_TRUE(message.starts_with("Installation stopped. Restore the saved files from ")) << message;
  EXPECT_NE(message.find("Choose a folder without symbolic links: " + root.string()), std::string::npos) << message;
  EXPECT_EQ(fs::directory_iterator(box.home() / "Foreign")->path().filename(), "unrelated.txt");
  EXPECT_EQ(std::distance(fs::directory_iterator(box.home() / "Foreign"), fs::directory_iterator()), 1);
  EXPECT_EQ(box.receiptIn(box.backupFolders().at(0)).state, "recovery-required");

  // Once the link is gone, the next install's recovery puts everything back.
  fs::remove(root);
  fs::rename(aside, root);
  Recovery(*box.engine()).recoverInterrupted(ignoreProgress);
  EXPECT_EQ(differences(before, box.snapshot()), "");
}

TEST(HostileFileSystem, AnOlderCopyWhoseNameIsNotUTF8IsNamedAndLeftAlone) {
  InstallSandbox box;
  prepareRealisticHome(box);
  box.writeProductFile(box.sharedLibraries() / "Nimbra \xff.gha", "odd name");
  const Snapshot before = box.snapshot();
  EXPECT_EQ(installFailure(box), "Rename or remove this older Nimbra copy, whose name is not valid UTF-8: " +
                                     (box.sharedLibraries() / "Nimbra \xef\xbf\xbd.gha").string());
  EXPECT_EQ(differences(before, box.snapshot()), "");
}

// A small file system of its own, mounted over folder; skipped where mounting
// is not allowed.
class Mounted {
 public:
  Mounted(const fs::path& folder, const std::string& options) : folder_(folder) {
    fs::create_directories(folder);
    mounted_ = ::mount("nimbra-test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Mounted() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  fs::path folder_;
  bool mounted_ = false;
};

TEST(HostileFileSystem, ADiskTooSmallIsNamedWithTheSpaceNeededBeforeAnyChange) {
  InstallSandbox box("1.3.0", {8});
  fs::remove_all(box.resources() / "Rhino8");
  writeRelease(box.resources(), Release{"1.3.0", {writePackage(box.resources() / "Rhino8", 8,
                                                               {{"Nimbra.gha", "new" + productMarker()},
                                                                {"lib/Large.bin", std::string(3'000'000, 'x')}})}});
  Mounted disk(box.standardRoot(8), "size=2m");
  if (!disk.mounted()) GTEST_SKIP() << "this machine does not allow mounting a small file system";
  box.deployEarlier(8, "1.2.0");
  const Snapshot before = box.snapshot();
  struct statvfs space {};
  ASSERT_EQ(::statvfs(box.standardRoot(8).c_str(), &space), 0);
  // Whole 4 KiB blocks: the two files, and the staging, version and lib
  // folders and the manifest: 3,022,848 bytes. Less than 10 MB is free, so
  // both are told in KB, where the gap shows.
  ASSERT_EQ(space.f_frsize, 4096u);
  const std::uint64_t free = space.f_bavail * space.f_frsize;
  EXPECT_EQ(installFailure(box), "There is not enough free space to install Nimbra: it needs 3023 KB on the disk holding " +
                                     box.standardRoot(8).string() + ", and " + std::to_string(free / 1'000) +
                                     " KB are free.");
  EXPECT_EQ(differences(before, box.snapshot()), "");
  EXPECT_EQ(box.receiptIn(box.backupFolders().at(0)).state, "restored");
  EXPECT_TRUE(box.stagingLeftovers().empty());
}

TEST(HostileFileSystem, ADiskWithMoreThanFourBillionFreeBlocksHasRoom) {
  // 2^32 blocks and 2 more: counted in 32 bits, as a Mac's statvfs counts
  // them, only 2 would be free.
  InstallSandbox box("1.3.0", {8});
  Mounted disk(box.standardRoot(8), "size=" + std::to_string((4294967296ull + 2) * 4096));
  if (!disk.mounted()) GTEST_SKIP() << "this machine does not allow mounting a file system";
  EXPECT_EQ(thrownMessage([&] { box.engine()->install(box.targets({8}), std::nullopt, ignoreProgress); }), "");
}

}  // namespace
}  // namespace nimbra::testing
