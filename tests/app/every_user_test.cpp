// The command line run by an administrator for the people of a machine: two
// people with a Rhino 8 each and one without, on a machine of their own (a
// password database with only them, bound over the system's in the run's
// own mounts), homes that are theirs, and an installer any user may read.
// Root only.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "tests/app/command_line_fixture.h"

namespace nimbra {
namespace {

using testing::eventually;
using testing::readFile;
using testing::writeFile;

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
      chownAll(homeOf(name), id);
    }
    writeFile(folder_ / "passwd", passwd);
    writeFile(folder_ / "group", group);
    writeFile(calls_, "");
    fs::permissions(calls_, fs::perms::all);
    // The stand-ins for a Mac's tools, where the people may run them: a clone
    // may lie in a folder only its owner can enter.
    fs::copy(fs::path(__FILE__).parent_path().parent_path() / "mac/bin", tools_, fs::copy_options::recursive);
  }
  fs::path homeOf(const std::string& name) const { return folder_ / "homes" / name; }
  fs::path packagesOf(const std::string& name) const {
    return homeOf(name) / "Library/Application Support/McNeel/Rhinoceros/packages/8.0";
  }
  static void chownAll(const fs::path& folder, int id) {
    EXPECT_EQ(std::system(("chown -R -h " + std::to_string(id) + ":" + std::to_string(id) + " " + quoted(folder)).c_str()), 0);
  }
  // A process list whose password database knows only the people here.
  std::unique_ptr<ProcessNamespace> machine() const {
    auto space = std::make_unique<ProcessNamespace>();
    EXPECT_EQ(space->run("mount --bind " + quoted(folder_ / "passwd") + " /etc/passwd && mount --bind " +
                         quoted(folder_ / "group") + " /etc/group"),
              0);
    return space;
  }
  Run runForUsers(const std::string& arguments, const std::string& prefix = "") { return run(arguments, *machine(), prefix); }
  Run runFor(const std::string& arguments, const ProcessNamespace& space) {
    return run(arguments, space, "NIMBRA_MAC_CALLS=" + quoted(calls_) + " NIMBRA_MAC_TOOLS=" + quoted(tools_) + " ");
  }
  // Ada's Rhino, started in space as hers, in her desktop session or in
  // none that can be known; the process, once it runs.
  enum class Session { hers, unknown };
  pid_t startAdasRhino(const ProcessNamespace& space, Session session) const {
    const std::string environment =
        session == Session::unknown ? "" : NIMBRA_MAC ? "NIMBRA_MAC_SESSION=4101" : "NIMBRA_SESSION=ada-desktop";
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
  bool called(const std::string& line) const { return readFile(calls_).find(line) != std::string::npos; }

  const fs::path calls_ = folder_ / "mac-calls";  // what the stand-ins for a Mac's calls were asked
  const fs::path tools_ = folder_ / "mac-tools";
};

TEST_F(EveryUser, EachPersonsInstallIsTheirsAndOneFailureStopsNobodyElse) {
  // Ben's package folder is root's, and a group's to write that the
  // administrator is in and he is not: his run fails, Ada's goes on.
  fs::create_directories(packagesOf("ben"));
  chownAll(homeOf("ben"), 4102);
  ASSERT_EQ(::chown(packagesOf("ben").c_str(), 0, 4200), 0);
  fs::permissions(packagesOf("ben"), fs::perms::group_write, fs::perm_options::add);
  const Run both = runForUsers("--all-users --install --json", "setpriv --groups=4200 ");
  EXPECT_EQ(both.status, 1) << both.out << both.err;
  const nlohmann::json document = nlohmann::json::parse(both.out);
  ASSERT_EQ(document["users"].size(), 3u);
  EXPECT_EQ(document["users"][0]["user"], "ada");
  EXPECT_EQ(document["users"][0]["outcome"], "installed");
  EXPECT_EQ(document["users"][1]["exitStatus"], 1);
  EXPECT_EQ(document["users"][2]["outcome"], "skipped");
  EXPECT_EQ(document["message"], "3 users, 1 done, 1 not, 1 without Rhino 7 or 8, passed by.");
  EXPECT_FALSE(fs::exists(packagesOf("ben") / "nimbra"));
  // The administrator's log has a line for each; each person's says who ran it.
  const std::string administrators = readFile(box_.support() / "Logs/install.log");
  for (const char* line : {"ada: exit status 0: Installed", "ben: exit status 1: ", "cy: exit status 0: No Rhino 7 or 8"}) {
    EXPECT_NE(administrators.find(line), std::string::npos) << line << "\n" << administrators;
  }
  EXPECT_NE(readFile(homeOf("ada") / "Library/Application Support/Nimbra/Logs/install.log")
                .find("command line: --install --json, for ada, run by an administrator"),
            std::string::npos);
  for (const fs::path& made : {packagesOf("ada") / "nimbra", packagesOf("ada") / "nimbra" / kVersion / "Nimbra.gha",
                               homeOf("ada") / "Library/Application Support/Nimbra/Logs/install.log"}) {
    EXPECT_EQ(ownerOf(made), 4101u) << made;
  }
}

TEST_F(EveryUser, ARunningRhinoRefusesOnlyItsPersonsRunUnderNoQuit) {
  const auto space = machine();
  const pid_t first = startAdasRhino(*space, Session::hers);
  const Run refused = runFor("--all-users --install --no-quit --json", *space);
  EXPECT_EQ(refused.status, 3) << refused.out;
  EXPECT_EQ(space->processes(adaRhino().string()), std::vector<pid_t>{first}) << "Ada's Rhino was touched";
  const nlohmann::json users = nlohmann::json::parse(refused.out)["users"];
  EXPECT_EQ(users[0]["exitStatus"], 3);
  EXPECT_EQ(users[0]["message"], "Rhino is running. Quit Rhino and try again.");
  EXPECT_EQ(users[1]["outcome"], "installed");
  EXPECT_EQ(ownerOf(packagesOf("ben") / "nimbra"), 4102u);
}

TEST_F(EveryUser, ARhinoAskedToQuitOpensAgainAsItsPersonsInTheirSession) {
  const auto space = machine();
  const pid_t first = startAdasRhino(*space, Session::hers);
  const Run reopened = runFor("--user ada --install --wait 10", *space);
  EXPECT_EQ(reopened.status, 0) << reopened.out << reopened.err;
  pid_t again = -1;
  EXPECT_TRUE(eventually([&] {
    const std::vector<pid_t> running = space->processes(adaRhino().string());
    again = running.size() == 1 && running[0] != first ? running[0] : -1;
    return again > 0;
  })) << "Ada's Rhino left closed";
  if (again <= 0) return;
  const std::string environment = readFile(space->seen("/proc/" + std::to_string(again) + "/environ"));
  if (!NIMBRA_MAC) {
    EXPECT_EQ(environment, std::string("NIMBRA_SESSION=ada-desktop\0", 27)) << "not opened again in Ada's session";
    return;
  }
  // On a Mac her run is started in her desktop session, where AppKit reaches
  // her Rhino and Launch Services opens it again as hers.
  EXPECT_TRUE(called("launchctl asuser 4101 ")) << readFile(calls_);
  EXPECT_TRUE(called("terminate " + std::to_string(first) + " in session 4101")) << readFile(calls_);
  EXPECT_TRUE(called("open -a " + adaRhino().parent_path().parent_path().parent_path().string() + " as 4101 in session 4101"))
      << readFile(calls_);
  EXPECT_NE(environment.find("NIMBRA_MAC_SESSION=4101"), std::string::npos);
}

TEST_F(EveryUser, ARhinoInASessionThatCannotBeKnownIsNeverOpenedInTheAdministrators) {
  const auto space = machine();
  startAdasRhino(*space, Session::unknown);
  const Run run = runFor("--user ada --install --wait 2", *space);
  const std::string bundle = (homeOf("ada") / "Applications/Rhino 8.app").string();
  if (NIMBRA_MAC) {
    // Outside her session AppKit cannot reach it: it is not asked, and runs on.
    EXPECT_EQ(run.status, 3) << run.out << run.err;
    EXPECT_NE(run.out.find(bundle + " was not asked to quit: it cannot be reached from this desktop session"),
              std::string::npos)
        << run.out;
    EXPECT_EQ(space->processes(adaRhino().string()).size(), 1u);
    EXPECT_FALSE(called("terminate ")) << readFile(calls_);
    return;
  }
  EXPECT_EQ(run.status, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(space->processes(adaRhino().string()), std::vector<pid_t>{}) << "opened in the administrator's session";
  EXPECT_NE(run.out.find(". " + bundle + " was left closed: it cannot be opened in its user\u2019s desktop session from here"),
            std::string::npos)
      << run.out;
}

TEST_F(EveryUser, AccountsThatAreNoPersonsAndRunsWithoutRightsAreRefused) {
  EXPECT_EQ(runForUsers("--user nobodyhere --install").err, "There is no user named \u201cnobodyhere\u201d on this machine.\n");
  EXPECT_EQ(runForUsers("--user root --install").err, "\u201croot\u201d is a system account (user id 0), not a person\u2019s.\n");
  EXPECT_EQ(runForUsers("--user cy --install").status, 4) << "named, he is told he has no Rhino";
  for (const char* whom : {"--all-users", "--user ada", "--for-user ada"}) {
    const Run unprivileged = runForUsers(std::string(whom) + " --install", "setpriv --reuid=65534 --regid=65534 --clear-groups ");
    EXPECT_EQ(unprivileged.status, 2) << whom;
    EXPECT_FALSE(fs::exists(homeOf("ada") / "Library")) << whom;
  }
}

}  // namespace
}  // namespace nimbra
