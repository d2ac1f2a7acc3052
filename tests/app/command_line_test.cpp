// The installer's command line, run as a deployment tool runs it: the built
// executable, against a sandbox home with simulated Rhinos, in a process list
// and mounts of its own, so that it sees and asks to quit only the Rhinos
// started here. Every case checks the disk as well as the output. As root or
// as anyone where user namespaces are allowed; only installing for other
// users needs root.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <nlohmann/json.hpp>
#include <thread>

#include "engine/install_receipt.h"
#include "engine/platform/file_lock.h"
#include "tests/support/install_sandbox.h"
#include "tests/support/process_namespace.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using testing::readFile;
using testing::writeFile;

// The application built, or a copy another user may read.
const fs::path kApp = std::getenv("NIMBRA_TEST_APP_BUNDLE") != nullptr ? std::getenv("NIMBRA_TEST_APP_BUNDLE") : NIMBRA_APP_BUNDLE;

// The payload the default build carries, as its release.json lists it.
const std::string kVersion = decodeRelease(readFile(kApp / "Contents/Resources/Payload/release.json")).version;

using testing::ProcessNamespace;
using testing::quoted;

class CommandLine : public ::testing::Test {
 protected:
  struct Run {
    int status = -1;
    std::string out, err;
  };

  void SetUp() override {
    if (!ProcessNamespace().made()) GTEST_SKIP() << "no process list of its own (unshare needs root or user namespaces)";
    for (const std::int64_t major : {7, 8}) simulated::makeRhinoBundle(application(major), {.major = major});
  }
  fs::path home() const { return box_.home(); }
  fs::path application(std::int64_t major) const {
    return home() / "Applications" / ("Rhino " + std::to_string(major) + ".app");
  }
  fs::path destination(std::int64_t major) const { return box_.destination(major); }
  fs::path backups() const { return box_.support() / "Backups"; }
  bool installed(std::int64_t major) const {
    return fs::exists(destination(major) / "manifest.txt") && readFile(destination(major) / "manifest.txt") == kVersion + "\n";
  }
  std::vector<pid_t> rhinos(const ProcessNamespace& space, std::int64_t major) const {
    return space.processes((application(major) / "Contents/MacOS").string());
  }
  // A simulated Rhino in space, once it answers quit requests.
  pid_t startRhino(const ProcessNamespace& space, std::int64_t major) const {
    const std::string fifo = quoted(folder_ / ("ready" + std::to_string(major)));
    EXPECT_EQ(space.run("rm -f " + fifo + "; mkfifo " + fifo + "; NIMBRA_READY_FD=3 " +
                        quoted(application(major) / "Contents/MacOS/Rhinoceros") + " 3>" + fifo + " & head -c1 " + fifo),
              0);
    const std::vector<pid_t> started = rhinos(space, major);
    return started.size() == 1 ? started[0] : -1;
  }

  // Runs the executable in space (its own, when none is given) with
  // arguments, shell words that a pipe or a signal may follow; prefix goes
  // before it (another home, other groups).
  Run run(const std::string& arguments, const ProcessNamespace& space = ProcessNamespace(),
          const std::string& prefix = "") {
    const fs::path out = folder_ / "out", err = folder_ / "err";
    const int status = space.run("export HOME=" + quoted(home()) + "; " + prefix + quoted(app_ / "Contents/MacOS/Nimbra Setup") +
                                 " " + arguments + " >" + quoted(out) + " 2>" + quoted(err));
    return {status, readFile(out), readFile(err)};
  }

  testing::InstallSandbox box_;  // its paths; the command line installs its own payload
  const fs::path& folder_ = box_.root();
  fs::path app_ = kApp;
};

TEST_F(CommandLine, ListsTheRhinosAndInstallsEveryOneOrTheOnesNamed) {
  const Run listed = run("--list");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_FALSE(fs::exists(box_.support())) << "a look writes nothing, not even a log";
  EXPECT_EQ(listed.out, "Rhino 7\t" + application(7).string() + "\tNimbra not installed\nRhino 8\t" +
                            application(8).string() + "\tNimbra not installed\n");
  const ProcessNamespace space;
  const Run eight = run("--install --rhino 8", space);
  EXPECT_EQ(eight.status, 0) << eight.err;
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(space.processes((home() / "Applications").string()), std::vector<pid_t>{})
      << "no Rhino was running, so none is opened";
  EXPECT_TRUE(installed(8));
  EXPECT_FALSE(fs::exists(destination(7)));
  EXPECT_NE(run("--list").out.find("Rhino 8\t" + application(8).string() + "\tNimbra " + kVersion + "\n"),
            std::string::npos);
  EXPECT_NE(eight.out.find("Checking Rhino 8 files…\n"), std::string::npos) << eight.out;
  EXPECT_NE(eight.out.find("Installed Nimbra " + kVersion + " for Rhino 8. Backup folder: " + backups().string()),
            std::string::npos)
      << eight.out;

  const Run both = run("--install --json");
  EXPECT_EQ(both.status, 0) << both.err;
  EXPECT_TRUE(installed(7) && installed(8));
  const nlohmann::json document = nlohmann::json::parse(both.out);  // the one object, nothing else
  EXPECT_EQ(document["outcome"], "installed");
  EXPECT_EQ(document["version"], kVersion);
  ASSERT_EQ(document["targets"].size(), 2u);
  EXPECT_EQ(document["targets"][1]["packageFolder"], box_.standardRoot(8).string());
  EXPECT_EQ(document["targets"][1]["installedVersion"], kVersion);
  const fs::path backup = document["backupFolder"].get<std::string>();
  EXPECT_EQ(decodeReceipt(readFile(backup / "receipt.json")).state, "complete");
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
  EXPECT_EQ(nlohmann::json::parse(removed.out)["outcome"], "uninstalled");
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

TEST_F(CommandLine, RestoresWhatAnUninstallMovedAside) {
  ASSERT_EQ(run("--install --no-open").status, 0);
  writeFile(destination(8) / kVersion / "Notes.txt", "the user's own note");
  const fs::path removed = nlohmann::json::parse(run("--uninstall --rhino 8 --json").out)["backupFolder"].get<std::string>();
  ASSERT_FALSE(fs::exists(destination(8)));
  // Installed afresh since: its backup holds nothing, so the one to restore
  // is still the uninstall's, and the restore replaces the fresh copy.
  ASSERT_EQ(run("--install --rhino 8 --no-open").status, 0);
  const Run restored = run("--restore --json");
  EXPECT_EQ(restored.status, 0) << restored.out << restored.err;
  EXPECT_EQ(nlohmann::json::parse(restored.out)["outcome"], "restored");
  EXPECT_EQ(readFile(destination(8) / kVersion / "Notes.txt"), "the user's own note");
  EXPECT_EQ(decodeReceipt(readFile(removed / "receipt.json")).state, "restored");
  // Again: nothing more to restore, and no new backup folder.
  const std::size_t before = box_.backupFolders().size();
  const Run twice = run("--restore --json");
  EXPECT_EQ(twice.status, 0) << twice.err;
  EXPECT_EQ(nlohmann::json::parse(twice.out)["message"],
            "The last change was a restore, of " + removed.string() +
                "; nothing more to restore. Name a backup folder to restore another.");
  const Run named = run("--restore '" + removed.string() + "'");
  EXPECT_EQ(named.status, 0);
  EXPECT_EQ(named.out, "This backup has been restored already: " + removed.string() + "\n");
  EXPECT_EQ(box_.backupFolders().size(), before);
  EXPECT_EQ(readFile(destination(8) / kVersion / "Notes.txt"), "the user's own note");

  writeFile(removed / "receipt.json", encodeReceipt({kVersion, "installing", {}, {}, {}}));
  const Run refused = run("--restore '" + removed.string() + "'");
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, "This backup cannot be restored, because the installation that made it did not finish: " +
                             removed.string() + "\n");
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
  EXPECT_EQ(recovered.out, "Restoring the interrupted installation…\nThe interrupted installation is restored.\n");
  EXPECT_EQ(readFile(destination(8) / "1.0.0/lib/Old.dll"), "the user's earlier copy");
  EXPECT_EQ(decodeReceipt(readFile(folder / "receipt.json")).state, "restored");
  EXPECT_EQ(run("--recover").out, "Nothing to recover.\n");
  // A receipt nobody can read stops recovery, which names it, but not a look.
  writeFile(backups() / "old/receipt.json", "{\"state\": \"comp");
  EXPECT_NE(run("--recover").err.find("The installation record \u201c" + (backups() / "old/receipt.json").string()),
            std::string::npos);
  EXPECT_EQ(run("--list").status, 0);
}

TEST_F(CommandLine, RunAgainItChangesNothingAndChecksWhatAnInstallWouldChange) {
  box_.deployEarlier(7, "0.9.0");
  box_.deployEarlier(8, "99.0.0");
  // A newer version: --check answers as --install does, word for word.
  const Run before = run("--check");
  EXPECT_EQ(before.status, 1);
  EXPECT_EQ(before.out, "Rhino 7: an older version (0.9.0)\nRhino 8: a newer version (99.0.0)\n");
  const Run refused = run("--install --no-open");
  EXPECT_EQ(refused.status, before.status);
  EXPECT_EQ(refused.err, "A newer Nimbra version is already installed for Rhino 8.\n");
  EXPECT_EQ(before.err, refused.err);
  fs::remove_all(destination(8));
  EXPECT_EQ(run("--check --rhino 8").out, "Rhino 8: not installed\n");
  EXPECT_EQ(run("--check --rhino-path " + quoted(application(8))).out, "Rhino 8: not installed\n") << "it alone";
  ASSERT_EQ(run("--install --no-open").status, 0);
  const std::size_t backupFolders = box_.backupFolders().size();
  EXPECT_EQ(run("--install").out, "Nimbra " + kVersion + " is already installed for Rhino 7 and Rhino 8.\n");
  EXPECT_EQ(box_.backupFolders().size(), backupFolders);
  const Run upToDate = run("--check --json");
  EXPECT_EQ(upToDate.status, 0);
  EXPECT_EQ(nlohmann::json::parse(upToDate.out)["outcome"], "up-to-date");

  const std::string file = decodeRelease(readFile(kApp / "Contents/Resources/Payload/release.json")).packages[1].files[0].path;
  writeFile(destination(8) / kVersion / file, "changed by hand");
  const Run changed = run("--check");
  EXPECT_EQ(changed.status, 6);
  EXPECT_EQ(changed.out, "Rhino 7: up to date\nRhino 8: changed: " + file + "\n");
  EXPECT_EQ(run("--install --no-open").status, 0);
  EXPECT_EQ(run("--check").status, 0);
  writeFile(destination(7) / "notes.txt", "beside the version folder");
  EXPECT_EQ(run("--check --rhino 7").out, "Rhino 7: changed: notes.txt\n");
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
  const auto bothRunningAgain = [&](const ProcessNamespace& space) {
    EXPECT_TRUE(eventually([&] { return !rhinos(space, 7).empty(); })) << "Rhino 7 left closed";
    EXPECT_EQ(rhinos(space, 8).size(), 1u) << "Rhino 8 left closed once it quit";
  };
  {
    const ProcessNamespace space;
    startRhino(space, 7), startRhino(space, 8);
    const Run waited = run("--install --wait 1", space);
    EXPECT_EQ(waited.status, 3);
    EXPECT_EQ(waited.err, "Installation cancelled. No plug-in files were changed. Still running after the wait: " +
                              application(8).string() + ".\n");
    bothRunningAgain(space);
  }
  const ProcessNamespace space;
  startRhino(space, 7), startRhino(space, 8);
  const Run hungUp = run("--install --wait 60 & sleep 1; kill -HUP $!; wait $!", space);
  EXPECT_EQ(hungUp.status, 1);
  bothRunningAgain(space);
  EXPECT_FALSE(installed(7) || installed(8));
  const std::string log = readFile(box_.support() / "Logs/install.log");
  EXPECT_TRUE(log.ends_with("Exit status 1: Installation cancelled. No plug-in files were changed.\n")) << log;
  EXPECT_NE(log.find("Opened again " + application(8).string()), std::string::npos) << log;
}

// Two people on a machine of their own: a password database with only them
// (bound over the system's in the run's own mount namespace), homes that are
// theirs, a Rhino 8 each, and an installer any user may read.
class EveryUser : public CommandLine {
 protected:
  void SetUp() override {
    CommandLine::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "installing for other users is for root";
    fs::permissions(folder_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    app_ = folder_ / "Applications/Nimbra Setup.app";
    fs::create_directories(app_.parent_path());
    ASSERT_EQ(std::system(("cp -a '" + kApp.string() + "' '" + app_.string() + "'").c_str()), 0);
    std::string passwd = "root:x:0:0::/root:/bin/sh\n", group = "root:x:0:\n";
    for (const auto& [name, id] : {std::pair{"ada", 4101}, {"ben", 4102}, {"cy", 4103}}) {
      // Cy has no Rhino: a sweep over every account passes him by.
      if (name != std::string("cy")) simulated::makeRhinoBundle(homeOf(name) / "Applications/Rhino 8.app", {.major = 8});
      fs::create_directories(homeOf(name));
      passwd += std::string(name) + ":x:" + std::to_string(id) + ":" + std::to_string(id) + "::" + homeOf(name).string() + ":/bin/sh\n";
      group += std::string(name) + ":x:" + std::to_string(id) + ":\n";
      EXPECT_EQ(std::system(("chown -R " + std::to_string(id) + ":" + std::to_string(id) + " '" + homeOf(name).string() + "'").c_str()), 0);
    }
    writeFile(folder_ / "passwd", passwd);
    writeFile(folder_ / "group", group);
  }
  fs::path homeOf(const std::string& name) const { return folder_ / "homes" / name; }
  // A process list whose password database knows only the people here.
  std::unique_ptr<ProcessNamespace> machine() const {
    auto space = std::make_unique<ProcessNamespace>();
    EXPECT_EQ(space->run("mount --bind " + quoted(folder_ / "passwd") + " /etc/passwd && mount --bind " +
                         quoted(folder_ / "group") + " /etc/group"),
              0);
    return space;
  }
  Run runForUsers(const std::string& arguments, const std::string& prefix = "") {
    return run(arguments, *machine(), prefix);
  }
  // Ada's Rhino, started in space as hers with only the environment given;
  // the process, once it runs.
  pid_t startAdasRhino(const ProcessNamespace& space, const std::string& environment) const {
    space.run("setpriv --reuid=4101 --regid=4101 --clear-groups env -i " + environment + " " + quoted(adaRhino()) + " &");
    EXPECT_TRUE(eventually([&] { return !space.processes(adaRhino().string()).empty(); }));
    const std::vector<pid_t> running = space.processes(adaRhino().string());
    return running.empty() ? -1 : running[0];
  }
  fs::path adaRhino() const { return homeOf("ada") / "Applications/Rhino 8.app/Contents/MacOS/Rhinoceros"; }
  static uid_t ownerOf(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_uid : 0;
  }
};

TEST_F(EveryUser, EachUsersInstallIsTheirsAndOneFailureStopsNobodyElse) {
  const fs::path adaPackages = homeOf("ada") / "Library/Application Support/McNeel/Rhinoceros/packages/8.0";
  // Ben's package folder is root's, and a group's to write that the
  // administrator is in and he is not: his run fails, Ada's goes on.
  const fs::path benPackages = homeOf("ben") / "Library/Application Support/McNeel/Rhinoceros/packages/8.0";
  fs::create_directories(benPackages);
  EXPECT_EQ(std::system(("chown -R 4102:4102 '" + homeOf("ben").string() + "'").c_str()), 0);
  ASSERT_EQ(::chown(benPackages.c_str(), 0, 4200), 0);
  fs::permissions(benPackages, fs::perms::group_write, fs::perm_options::add);
  const Run both = runForUsers("--all-users --install --json", "setpriv --groups=4200 ");
  EXPECT_EQ(both.status, 1) << both.out << both.err;
  const nlohmann::json document = nlohmann::json::parse(both.out);
  ASSERT_EQ(document["users"].size(), 3u);
  EXPECT_EQ(document["users"][0]["user"], "ada");
  EXPECT_EQ(document["users"][0]["outcome"], "installed");
  EXPECT_EQ(document["users"][1]["exitStatus"], 1);
  EXPECT_EQ(document["users"][2]["outcome"], "skipped");
  EXPECT_EQ(document["message"], "3 users, 1 done, 1 not, 1 without Rhino 7 or 8, passed by.");
  EXPECT_FALSE(fs::exists(homeOf("cy") / "Library"));
  // The administrator's log has a line for each; each person's says who ran it.
  const std::string administrators = readFile(box_.support() / "Logs/install.log");
  for (const char* line : {"ada: exit status 0: Installed", "ben: exit status 1: ", "cy: exit status 0: No Rhino 7 or 8"}) {
    EXPECT_NE(administrators.find(line), std::string::npos) << line << "\n" << administrators;
  }
  EXPECT_NE(readFile(homeOf("ada") / "Library/Application Support/Nimbra/Logs/install.log")
                .find("command line: --install --json, for ada, run by an administrator"),
            std::string::npos);
  for (const fs::path& made : {adaPackages / "nimbra", adaPackages / "nimbra" / kVersion / "Nimbra.gha",
                               homeOf("ada") / "Library/Application Support/Nimbra/Logs/install.log"}) {
    EXPECT_EQ(ownerOf(made), 4101u) << made;
  }
  EXPECT_FALSE(fs::exists(benPackages / "nimbra"));

  // Ada's own Rhino runs: with --no-quit she is refused, and it runs on; Ben,
  // his package folder his again, is installed.
  EXPECT_EQ(std::system(("chown -R 4102:4102 '" + homeOf("ben").string() + "'").c_str()), 0);
  {
    const auto space = machine();
    const pid_t first = startAdasRhino(*space, "");
    const Run refused = run("--all-users --install --no-quit --reinstall --json", *space);
    EXPECT_EQ(refused.status, 3) << refused.out;
    EXPECT_EQ(space->processes(adaRhino().string()), std::vector<pid_t>{first}) << "Ada's Rhino was touched";
    const nlohmann::json again = nlohmann::json::parse(refused.out);
    EXPECT_EQ(again["users"][0]["exitStatus"], 3);
    EXPECT_EQ(again["users"][0]["message"], "Rhino is running. Quit Rhino and try again.");
    EXPECT_EQ(again["users"][1]["outcome"], "installed");
    EXPECT_EQ(again["users"].size(), 3u);
    EXPECT_EQ(ownerOf(benPackages / "nimbra"), 4102u);
  }
  {
    // Asked to quit, Ada's Rhino opens again as hers, in her desktop session
    // (its own environment), not in the administrator's.
    const auto space = machine();
    const pid_t first = startAdasRhino(*space, "NIMBRA_SESSION=ada-desktop");
    const Run reopened = run("--user ada --install --reinstall", *space);
    EXPECT_EQ(reopened.status, 0) << reopened.out << reopened.err;
    pid_t again = -1;
    EXPECT_TRUE(eventually([&] {
      const std::vector<pid_t> running = space->processes(adaRhino().string());
      again = running.size() == 1 && running[0] != first ? running[0] : -1;
      return again > 0;
    })) << "Ada's Rhino left closed";
    if (again > 0) {
      EXPECT_EQ(readFile(space->seen("/proc/" + std::to_string(again) + "/environ")),
                std::string("NIMBRA_SESSION=ada-desktop\0", 27))
          << "not opened again in Ada's session";
    }
  }
  // Where her session cannot be known (a Rhino with no environment at all),
  // it stays closed, and the run says so.
  const auto space = machine();
  startAdasRhino(*space, "");
  const Run leftClosed = run("--user ada --install --reinstall", *space);
  EXPECT_EQ(leftClosed.status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(space->processes(adaRhino().string()), std::vector<pid_t>{}) << "opened in the administrator's session";
  EXPECT_NE(leftClosed.out.find(". " + (homeOf("ada") / "Applications/Rhino 8.app").string() +
                                " was left closed: it cannot be opened in its user\u2019s desktop session from here"),
            std::string::npos)
      << leftClosed.out;

  // What Ada plants in her home (a package folder that is a link to root's
  // folder, a receipt that points there) moves nothing outside it.
  const fs::path secret = folder_ / "secret";
  writeFile(secret / "8.0/keep.txt", "root's");
  fs::remove_all(adaPackages);
  fs::create_directory_symlink(secret / "8.0", adaPackages);
  const fs::path planted = homeOf("ada") / "Library/Application Support/Nimbra/Backups/2020-01-01T00-00-00Z-AAAAAAAA";
  writeFile(planted / "0-keep.txt", "planted");
  writeFile(planted / "receipt.json", encodeReceipt({kVersion, "installing", {}, {{(secret / "8.0/new.txt").string(),
                                                                                   (planted / "0-keep.txt").string()}}, {}}));
  EXPECT_EQ(std::system(("chown -R -h 4101:4101 '" + homeOf("ada").string() + "'").c_str()), 0);
  EXPECT_EQ(runForUsers("--user ada --install").status, 1);
  EXPECT_EQ(readFile(secret / "8.0/keep.txt"), "root's");
  EXPECT_EQ(std::distance(fs::directory_iterator(secret / "8.0"), fs::directory_iterator()), 1);

  EXPECT_EQ(runForUsers("--user nobodyhere --install").err, "There is no user named \u201cnobodyhere\u201d on this machine.\n");
  EXPECT_EQ(runForUsers("--user root --install").err, "\u201croot\u201d is a system account (user id 0), not a person\u2019s.\n");
  const Run noRhino = runForUsers("--user cy --install");  // named, he is told
  EXPECT_EQ(noRhino.status, 4);
  for (const char* whom : {"--all-users", "--user ada"}) {
    const Run unprivileged = runForUsers(std::string(whom) + " --install", "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    EXPECT_EQ(unprivileged.status, 2) << whom;
  }
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

TEST_F(CommandLine, ABadCommandLineOrHomeIsRefusedAndChangesNothing) {
  for (const char* arguments : {"--install --rhino 6", "--install --wait soon", "--list --rhino 8", "--install --list",
                                "--frobnicate", "--rhino 8"}) {
    const Run bad = run(arguments);
    EXPECT_EQ(bad.status, 2) << arguments;
    EXPECT_NE(bad.err.find("--help"), std::string::npos) << arguments << ": " << bad.err;
  }
  for (const char* word : {"help", "-h", "-install"}) {
    EXPECT_NE(run(word).err.find(std::string("unknown option \"") + word + "\""), std::string::npos) << word;
  }
  EXPECT_FALSE(fs::exists(home() / "Library"));
  const Run json = run("--install --json --rhino 9");
  EXPECT_EQ(nlohmann::json::parse(json.out)["exitStatus"], 2);
  const Run missing = run("--install --rhino-path --json");
  EXPECT_EQ(nlohmann::json::parse(missing.out)["message"],
            "Nimbra Setup: --rhino-path needs a value. Run it with --help to see the commands and options.");
  // A number past what an option takes is refused in its words, and never
  // wraps round into one it takes (every spelling: OptionNumbers).
  const fs::path kept = backups() / "2020-01-01T00-00-00Z-AAAAAAAA";
  writeFile(kept / "receipt.json", encodeReceipt({"0.9.0", "complete", {}, {}, {}}));
  const Run wrapped = run("--keep-backups 18446744073709551616");
  EXPECT_EQ(wrapped.status, 2);
  EXPECT_NE(wrapped.err.find("--keep-backups takes a whole number of backup folders from 0 to 1000"), std::string::npos)
      << wrapped.err;
  EXPECT_TRUE(fs::exists(kept));
  EXPECT_EQ(run("--install --wait 86400.5").status, 2);
  EXPECT_EQ(run("--install --wait 0.5 --keep-backups 1000 --no-open").status, 0);

  // A home that is not there is said so, and not made.
  const Run homeless = run("--install", ProcessNamespace(), "HOME=" + quoted(folder_ / "gone") + " ");
  EXPECT_EQ(homeless.status, 1);
  EXPECT_EQ(homeless.err, "Your home folder \u201c" + (folder_ / "gone").string() + "\u201d does not exist.\n");
  EXPECT_FALSE(fs::exists(folder_ / "gone"));
  if (::geteuid() == 0) {
    // Root in a person's home makes nothing there that would be root's.
    const fs::path theirs = folder_ / "theirs";
    fs::create_directories(theirs / "Applications");
    ASSERT_EQ(::chown(theirs.c_str(), 4101, 4101), 0);
    const Run root = run("--install", ProcessNamespace(), "HOME=" + quoted(theirs) + " ");
    EXPECT_EQ(root.status, 2);
    EXPECT_NE(root.err.find("Run it as 4101, or as root with --user 4101."), std::string::npos) << root.err;
    EXPECT_FALSE(fs::exists(theirs / "Library"));
  }
  // A folder name that is not UTF-8 still gives valid output.
  const Run odd = run("--install --json --rhino-path $(printf '/nowhere/Rhino\\377.app')");
  EXPECT_EQ(odd.status, 1);
  EXPECT_NE(nlohmann::json::parse(odd.out)["message"].get<std::string>().find("Rhino\xef\xbf\xbd.app\u201d does not exist."),
            std::string::npos)
      << odd.out;
  const Run help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("3  Rhino is still running"), std::string::npos);
}

}  // namespace
}  // namespace nimbra
