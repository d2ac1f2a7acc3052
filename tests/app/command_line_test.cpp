// The installer's command line, run as a deployment tool runs it: the built
// executable, against a sandbox home with simulated Rhinos, in a process list
// and mounts of its own, so that it sees and asks to quit only the Rhinos
// started here. Every case checks the disk as well as the output. As root or
// as anyone where user namespaces are allowed; only installing for other
// users needs root.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "engine/install_receipt.h"
#include "engine/platform/file_lock.h"
#include "tests/app/command_line_fixture.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::readFile;
using testing::writeFile;

TEST_F(CommandLine, ListsTheRhinosFoundAndWritesNothing) {
  const Run listed = run("--list");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_FALSE(fs::exists(box_.support())) << "a look writes nothing, not even a log";
  EXPECT_EQ(listed.out, "Rhino 7\t" + application(7).string() + "\tNimbra not installed\nRhino 8\t" +
                            application(8).string() + "\tNimbra not installed\n");
}

TEST_F(CommandLine, InstallsOnlyTheRhinoNamedAndOpensNoneThatWasNotRunning) {
  const ProcessNamespace space;
  const Run eight = run("--install --rhino 8", space);
  EXPECT_EQ(eight.status, 0) << eight.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(space.processes((home() / "Applications").string()), std::vector<pid_t>{});
  EXPECT_TRUE(installed(8));
  EXPECT_FALSE(fs::exists(destination(7)));
  EXPECT_NE(run("--list").out.find("Rhino 8\t" + application(8).string() + "\tNimbra " + kVersion + "\n"),
            std::string::npos);
  EXPECT_NE(eight.out.find("Installed Nimbra " + kVersion + " for Rhino 8. Backup folder: " + backups().string()),
            std::string::npos)
      << eight.out;
}

TEST_F(CommandLine, AsksARunningRhinoToQuitAndOpensItAgain) {
  {
    const ProcessNamespace space;
    const pid_t first = startRhino(space, 8);
    // A script reading the output sees its end when the installer exits, not
    // when the Rhino it opened again quits.
    const Run done = run("--install | timeout 10 cat", space);
    EXPECT_NE(done.status, 124) << "the output ended only with the Rhino opened again";
    EXPECT_EQ(done.status, 0) << done.err;
    EXPECT_NE(done.out.find("Save your work in Rhino to continue.\n"), std::string::npos) << done.out;
    EXPECT_TRUE(installed(8));
    EXPECT_TRUE(eventually([&] { return !rhinos(space, 8).empty(); })) << "Rhino 8 left closed";
    EXPECT_NE(rhinos(space, 8), std::vector<pid_t>{first}) << "Rhino 8 never quit";
  }
  const ProcessNamespace space;
  startRhino(space, 8);
  const Run again = run("--install --rhino 8 --reinstall --no-open", space);
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("Installed Nimbra"), std::string::npos) << again.out;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(rhinos(space, 8), std::vector<pid_t>{}) << "opened again despite --no-open";
}

TEST_F(CommandLine, UninstallsIntoABackupAndKeepsTheNewestBackups) {
  ASSERT_EQ(run("--install").status, 0);
  const Run removed = run("--uninstall --rhino 7 --json");
  EXPECT_EQ(removed.status, 0) << removed.err;
  EXPECT_FALSE(fs::exists(destination(7)));
  EXPECT_TRUE(installed(8));
  const fs::path kept = nlohmann::json::parse(removed.out)["backupFolder"].get<std::string>();
  EXPECT_TRUE(fs::exists(kept / "0-nimbra/manifest.txt")) << "the removed copy is kept in a backup folder";
  const Run again = run("--install --json");
  EXPECT_TRUE(installed(7) && installed(8));

  // Three finished backup folders now (all made within a second or so), and
  // one that recovery may need, which is never removed.
  const fs::path newest = nlohmann::json::parse(again.out)["backupFolder"].get<std::string>();
  const fs::path needed = backups() / "2020-01-01T00-00-00Z-AAAAAAAA";
  writeFile(needed / "receipt.json", encodeReceipt({"0.9.0", "recovery-required", {}, {}, {}}));
  const Run pruned = run("--keep-backups 1");
  EXPECT_EQ(pruned.status, 0) << pruned.err;
  EXPECT_TRUE(pruned.out.ends_with("…\nRemoved 2 backup folders; the newest 1 finished ones are kept.\n")) << pruned.out;
  EXPECT_EQ(box_.backupFolders(), (std::vector<fs::path>{needed, newest}));
}

TEST_F(CommandLine, RestoresWhatAnUninstallMovedAsidePassingByAFreshInstall) {
  ASSERT_EQ(run("--install --no-open").status, 0);
  writeFile(destination(8) / kVersion / "Notes.txt", "the user's own note");
  const fs::path removed = nlohmann::json::parse(run("--uninstall --rhino 8 --json").out)["backupFolder"].get<std::string>();
  ASSERT_EQ(run("--install --rhino 8 --no-open").status, 0);  // its backup holds nothing
  const Run restored = run("--restore --json");
  EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
  EXPECT_EQ(nlohmann::json::parse(restored.out)["outcome"], "restored");
  EXPECT_EQ(readFile(destination(8) / kVersion / "Notes.txt"), "the user's own note");
  EXPECT_EQ(decodeReceipt(readFile(removed / "receipt.json")).state, "restored");
}

// As a deployment tool runs it again: the second restore finds the first's
// backup folder and stops there, neither making one nor reaching further back.
TEST_F(CommandLine, RestoreRunTwiceRestoresOnce) {
  ASSERT_EQ(run("--install --no-open").status, 0);
  ASSERT_EQ(run("--install --reinstall --no-open").status, 0);
  const fs::path removed = nlohmann::json::parse(run("--uninstall --json").out)["backupFolder"].get<std::string>();
  EXPECT_EQ(run("--check --restore").err, "A restore would put back what " + removed.string() + " holds.\n");
  ASSERT_EQ(run("--restore").status, 0);
  const std::vector<fs::path> folders = box_.backupFolders();
  EXPECT_EQ(run("--restore --check --json").status, 0) << "restored once already";
  const Run twice = run("--restore --json");
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(nlohmann::json::parse(twice.out)["outcome"], "unchanged");
  EXPECT_EQ(nlohmann::json::parse(twice.out)["message"],
            "The last change was a restore, of " + removed.string() +
                "; nothing more to restore. Name a backup folder to restore another.");
  EXPECT_EQ(box_.backupFolders(), folders);
  EXPECT_TRUE(installed(7) && installed(8));
}

TEST_F(CommandLine, ARestoreWithNothingToRestoreSaysSoAndExitsZero) {
  const Run nothing = run("--restore");
  EXPECT_EQ(std::pair(nothing.status, nothing.out),
            std::pair(0, std::string("No backup folder holds an earlier copy of Nimbra: nothing to restore.\n")));
  const fs::path fresh = nlohmann::json::parse(run("--install --no-open --json").out)["backupFolder"].get<std::string>();
  const Run named = run("--restore " + quoted(fresh));
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.out, "This backup holds no earlier copy of Nimbra, so restoring it would change nothing: " +
                           fresh.string() + "\n");
  EXPECT_EQ(box_.backupFolders(), std::vector<fs::path>{fresh});
}

TEST_F(CommandLine, ABackupWhoseInstallDidNotFinishIsRefused) {
  const fs::path folder = backups() / "2026-01-01T00-00-00Z-AAAAAAAA";
  writeFile(folder / "receipt.json", encodeReceipt({kVersion, "preparing", {}, {}, {}}));
  const Run refused = run("--restore " + quoted(folder));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "This backup cannot be restored, because the installation that made it did not finish: " +
                             folder.string() + "\n");
}

TEST_F(CommandLine, RecoversAnInterruptedInstall) {
  writeFile(destination(8) / "1.0.0/lib/Old.dll", "the user's earlier copy");
  writeFile(destination(8) / "manifest.txt", "1.0.0\n");
  const fs::path folder = backups() / "2026-01-01T00-00-00Z-AAAAAAAA";
  fs::create_directories(folder);
  fs::rename(destination(8), folder / "0-nimbra");
  writeFile(folder / "receipt.json",
            encodeReceipt({kVersion, "installing", {destination(8).string()},
                           {{destination(8).string(), (folder / "0-nimbra").string()}}, {}}));
  const Run recovered = run("--recover");
  EXPECT_EQ(recovered.status, 0) << recovered.err;
  EXPECT_EQ(recovered.out, "[1/1] Restoring the interrupted installation…\nThe interrupted installation is restored.\n");
  EXPECT_EQ(readFile(destination(8) / "1.0.0/lib/Old.dll"), "the user's earlier copy");
  EXPECT_EQ(decodeReceipt(readFile(folder / "receipt.json")).state, "restored");
  EXPECT_EQ(run("--recover").out, "Nothing to recover.\n");
  // A receipt nobody can read stops recovery, which names it, but not a look.
  writeFile(backups() / "old/receipt.json", "{\"state\": \"comp");
  EXPECT_NE(run("--recover").err.find("The installation record \u201c" + (backups() / "old/receipt.json").string()),
            std::string::npos);
  EXPECT_EQ(run("--list").status, 0);
}

TEST_F(CommandLine, CheckAnswersANewerVersionAsAnInstallWould) {
  box_.deployEarlier(7, "0.9.0");
  box_.deployEarlier(8, "99.0.0");
  const Run before = run("--check");
  EXPECT_EQ(before.status, 1);
  EXPECT_EQ(before.out, "Rhino 7: an older version (0.9.0)\nRhino 8: a newer version (99.0.0)\n");
  const Run refused = run("--install --no-open");
  EXPECT_EQ(std::pair(refused.status, refused.err), std::pair(before.status, before.err));
  EXPECT_EQ(run("--check --rhino-path " + quoted(application(7))).out, "Rhino 7: an older version (0.9.0)\n");
}

TEST_F(CommandLine, RunAgainAnInstallChangesNothingNotEvenForTheFindersFiles) {
  ASSERT_EQ(run("--install --no-open").status, 0);
  const std::vector<fs::path> folders = box_.backupFolders();
  EXPECT_EQ(run("--install").out, "Nimbra " + kVersion + " is already installed for Rhino 7 and Rhino 8.\n");
  // Opened in the Finder, an installed copy gets its files: no change for an install.
  writeFile(destination(8) / ".DS_Store", "view settings");
  writeFile(destination(8) / kVersion / "._Nimbra.gha", "an AppleDouble file");
  const Run upToDate = run("--check --json");
  EXPECT_EQ(upToDate.status, 0) << upToDate.out;
  EXPECT_EQ(nlohmann::json::parse(upToDate.out)["outcome"], "up-to-date");
  EXPECT_EQ(run("--install").status, 0);
  EXPECT_EQ(box_.backupFolders(), folders);
}

TEST_F(CommandLine, CheckNamesTheFirstFileThatDiffersAndAnInstallMendsIt) {
  ASSERT_EQ(run("--install --no-open").status, 0);
  const std::string file = decodeRelease(readFile(kApp / "Contents/Resources/Payload/release.json")).packages[1].files[0].path;
  writeFile(destination(8) / kVersion / file, "changed by hand");
  writeFile(destination(7) / "notes.txt", "beside the version folder");
  const Run changed = run("--check");
  EXPECT_EQ(changed.status, 6);
  EXPECT_EQ(changed.out, "Rhino 7: changed: notes.txt\nRhino 8: changed: " + file + "\n");
  EXPECT_EQ(run("--install --no-open").status, 0);
  EXPECT_EQ(run("--check").status, 0);
}

TEST_F(CommandLine, WhatEndsBeforeInstallingAsksNoRhinoToQuit) {
  const ProcessNamespace space;
  const std::vector<pid_t> rhino8 = {startRhino(space, 8)};  // the same process at the end, never asked to quit
  // A package folder on a disk too small for the payload.
  const std::string root = quoted(box_.standardRoot(8));
  ASSERT_EQ(space.run("mkdir -p " + root + " && mount -t tmpfs -o size=4k nimbra " + root), 0);
  const Run full = run("--install --rhino 8", space);
  EXPECT_EQ(full.status, 1);
  EXPECT_TRUE(full.err.starts_with("There is not enough free space to install Nimbra")) << full.err;

  // A package folder on a disk that can only be read.
  ASSERT_EQ(space.run("mount -t tmpfs -o ro nimbra " + root), 0);
  const Run readOnly = run("--install --rhino 8", space);
  EXPECT_EQ(readOnly.status, 1);
  EXPECT_EQ(readOnly.err, "Nimbra could not be installed in \u201c" + box_.standardRoot(8).string() +
                              "\u201d because its disk can only be read.\n");

  fs::create_directories(box_.support());
  const FileLock held(box_.support() / "install.lock");
  EXPECT_EQ(run("--recover").status, 5);
  const Run locked = run("--install --json", space);
  EXPECT_EQ(locked.status, 5);
  EXPECT_EQ(nlohmann::json::parse(locked.out)["outcome"], "another-installation");
  EXPECT_FALSE(installed(8));
  EXPECT_EQ(rhinos(space, 8), rhino8) << "Rhino 8 was asked to quit (and so opened again, another process)";
}

TEST_F(CommandLine, AnAttemptThatInstallsNothingOpensAgainTheRhinoThatQuit) {
  // Rhino 8 takes two seconds to quit: longer than the wait, or than the
  // time before the closed terminal's hang-up.
  fs::remove_all(application(8));
  simulated::makeRhinoBundle(application(8), {.major = 8, .quitDelaySeconds = 2});
  {
    const ProcessNamespace space;
    startRhino(space, 7);
    const pid_t quitting = startRhino(space, 8);
    const Run waited = run("--install --wait 1", space);
    EXPECT_EQ(waited.status, 3);
    EXPECT_EQ(waited.err, "Installation cancelled. No plug-in files were changed. Still running after the wait: " +
                              application(8).string() + ".\n");
    EXPECT_TRUE(eventually([&] { return !rhinos(space, 7).empty(); })) << "Rhino 7 left closed";
    // Still quitting when the command line ended: one new Rhino 8 follows it.
    EXPECT_TRUE(eventually([&] { const auto now = rhinos(space, 8); return now.size() == 1 && now[0] != quitting; }))
        << "Rhino 8 left closed once it quit";
  }
  EXPECT_FALSE(installed(7) || installed(8));
}

// A deployment tool that gives up sends SIGTERM, then SIGKILL a few seconds
// later: the outcome is written and the command line gone well before, and a
// Rhino still quitting is left to a watcher of its own that opens it again
// once it has quit, holding none of our output.
TEST_F(CommandLine, ASignalEndsItWithinTwoSecondsAndAWatcherReopensTheRhinoStillQuitting) {
  fs::remove_all(application(8));
  simulated::makeRhinoBundle(application(8), {.major = 8, .quitDelaySeconds = 4});
  const ProcessNamespace space;
  startRhino(space, 7);
  const pid_t quitting = startRhino(space, 8);
  // Its output read through a pipe, as a tool reads it: the read ends when it exits.
  const Run stopped = script("\"$NIMBRA\" --install --json --wait 60 | cat & sleep 1; kill -TERM $(pgrep -f -- '--wait 60$'); "
                             "start=$(date +%s%N); wait $!; echo $(( ($(date +%s%N) - start) / 1000000 )) >&2",
                             space);
  const long milliseconds = std::stol(stopped.err);
  EXPECT_LT(milliseconds, 2000) << "the command line stayed after the signal";
  EXPECT_EQ(nlohmann::json::parse(stopped.out)["outcome"], "cancelled") << stopped.out;
  const fs::path log = box_.support() / "Logs/install.log";
  EXPECT_NE(readFile(log).find("Exit status 1: Installation cancelled."), std::string::npos);
  EXPECT_TRUE(eventually([&] { const auto now = rhinos(space, 8); return now.size() == 1 && now[0] != quitting; }))
      << "Rhino 8 left closed once it quit";
  EXPECT_TRUE(eventually([&] { return readFile(log).find("Rhino 8.app once it had quit") != std::string::npos; }))
      << readFile(log);
  EXPECT_EQ(rhinos(space, 7).size(), 1u);
}

TEST_F(CommandLine, AnUninstallAcrossDisksStoppedByAFileKeepsOneWholeCopy) {
  // The backups on a disk of their own (a tmpfs in the test's own mounts),
  // and a file of the installed copy that cannot be removed (a mount point):
  // the copy is whole in the backup before anything is removed, and what
  // could not be removed is hidden aside until a later run.
  const ProcessNamespace space;
  const fs::path gha = destination(8) / kVersion / "Nimbra.gha";
  ASSERT_EQ(space.run("mkdir -p " + quoted(box_.support()) + " && mount -t tmpfs nimbra " + quoted(box_.support())), 0);
  ASSERT_EQ(run("--install --rhino 8 --no-open", space).status, 0);
  const std::string installed = readFile(gha);
  ASSERT_EQ(space.run("mount --bind " + quoted(gha) + " " + quoted(gha)), 0);
  const Run removed = run("--uninstall --rhino 8", space);
  EXPECT_EQ(removed.status, 0) << removed.out << removed.err;
  EXPECT_NE(removed.out.find("Removed Nimbra for Rhino 8."), std::string::npos) << removed.out;
  EXPECT_FALSE(fs::exists(space.seen(destination(8))));
  std::size_t whole = 0;
  for (const auto& folder : fs::directory_iterator(space.seen(backups()))) {
    const fs::path kept = folder.path() / "0-nimbra" / kVersion / "Nimbra.gha";
    whole += fs::exists(kept) && readFile(kept) == installed;
  }
  EXPECT_EQ(whole, 1u) << "the backup holds the removed copy whole";
  const std::string log = readFile(space.seen(box_.support() / "Logs/install.log"));
  EXPECT_NE(log.find("/Nimbra.gha\u201d could not be removed because it is in use."), std::string::npos) << log;
  EXPECT_NE(log.find("Left behind, its copy whole elsewhere: "), std::string::npos) << log;

  const auto aside = [&] {
    std::vector<fs::path> hidden;
    for (const auto& entry : fs::directory_iterator(space.seen(box_.standardRoot(8)))) {
      if (entry.path().filename().string().starts_with(".nimbra-install-")) hidden.push_back(entry.path());
    }
    return hidden;
  };
  ASSERT_EQ(aside().size(), 1u);
  ASSERT_EQ(space.run("umount " + quoted(box_.standardRoot(8) / aside()[0].filename() / kVersion / "Nimbra.gha")), 0);
  EXPECT_EQ(run("--install --rhino 8 --no-open", space).status, 0);
  EXPECT_EQ(aside(), std::vector<fs::path>{}) << "a later run clears what was hidden aside";
}

TEST_F(CommandLine, AFirstRunThatIsRefusedLeavesALogThatSaysWhoAndWhy) {
  fs::remove_all(home() / "Applications");
  EXPECT_EQ(run("--install --rhino 8").status, 4);
  const std::string log = readFile(box_.support() / "Logs/install.log");
  std::size_t at = 0;
  for (const std::string& line : {"  Nimbra Setup " + kVersion + ", command line: --install --rhino 8\n",
                                  std::string("  Found no Rhino 7 or 8.\n"), std::string("  Exit status 4: Rhino 7 or 8 was not found.\n")}) {
    EXPECT_NE(at = log.find(line, at), std::string::npos) << line << " after the lines before it in\n" << log;
  }
}

TEST_F(CommandLine, ABadCommandLineIsAUsageErrorThatChangesNothing) {
  for (const char* arguments : {"--install --rhino 6", "--install --wait soon", "--list --rhino 8", "--install --list",
                                "--frobnicate", "--rhino 8", "help", "-install", "--install --wait 86400.5"}) {
    const Run bad = run(arguments);
    EXPECT_EQ(bad.status, 2) << arguments;
    EXPECT_NE(bad.err.find("--help"), std::string::npos) << arguments << ": " << bad.err;
  }
  EXPECT_NE(run("-h").err.find("unknown option \"-h\""), std::string::npos);
  EXPECT_FALSE(fs::exists(home() / "Library"));
  const Run missing = run("--install --rhino-path --json");
  EXPECT_EQ(nlohmann::json::parse(missing.out)["message"],
            "Nimbra Setup: --rhino-path needs a value. Run it with --help to see the commands and options.");
  EXPECT_EQ(nlohmann::json::parse(missing.out)["exitStatus"], 2);
}

TEST_F(CommandLine, ANumberPastWhatAnOptionTakesIsRefusedNeverWrappedRound) {
  const fs::path kept = backups() / "2020-01-01T00-00-00Z-AAAAAAAA";
  writeFile(kept / "receipt.json", encodeReceipt({"0.9.0", "complete", {}, {}, {}}));
  const Run wrapped = run("--keep-backups 18446744073709551616");
  EXPECT_EQ(wrapped.status, 2);
  EXPECT_NE(wrapped.err.find("--keep-backups takes a whole number of backup folders from 0 to 1000"), std::string::npos)
      << wrapped.err;
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_EQ(run("--install --wait 0.5 --keep-backups 1000 --no-open").status, 0);
}

TEST_F(CommandLine, AHomeThatIsNotThereIsNamedAndNotMade) {
  const Run homeless = run("--install", ProcessNamespace(), "HOME=" + quoted(folder_ / "gone") + " ");
  EXPECT_EQ(homeless.status, 1);
  EXPECT_EQ(homeless.err, "Your home folder \u201c" + (folder_ / "gone").string() + "\u201d does not exist.\n");
  EXPECT_FALSE(fs::exists(folder_ / "gone"));
}

TEST_F(CommandLine, RootInAPersonsHomeMakesNothingThereThatWouldBeRoots) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  const fs::path theirs = folder_ / "theirs";
  fs::create_directories(theirs / "Applications");
  ASSERT_EQ(::chown(theirs.c_str(), 4101, 4101), 0);
  const Run root = run("--install", ProcessNamespace(), "HOME=" + quoted(theirs) + " ");
  EXPECT_EQ(root.status, 2);
  EXPECT_NE(root.err.find("Run it as 4101, or as root with --user 4101."), std::string::npos) << root.err;
  EXPECT_FALSE(fs::exists(theirs / "Library"));
}

TEST_F(CommandLine, AFolderNameThatIsNotUTF8StillGivesValidJSON) {
  const Run odd = run("--install --json --rhino-path $(printf '/nowhere/Rhino\\377.app')");
  EXPECT_EQ(odd.status, 1);
  EXPECT_NE(nlohmann::json::parse(odd.out)["message"].get<std::string>().find("Rhino\xef\xbf\xbd.app\u201d does not exist."),
            std::string::npos)
      << odd.out;
}

}  // namespace
}  // namespace nimbra
