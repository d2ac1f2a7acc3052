// The install flow on its own, as both the window and the command line drive
// it: a recording observer, the headless toolkit's clock and workspace, and a
// real engine on a sandbox home.

#include "app/install_flow.h"
#include "engine/installed_copy.h"
#include "engine/platform/file_lock.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

namespace fs = std::filesystem;
using Result = InstallFlow::Result;

class Recorder : public InstallFlow::Observer {
 public:
  void statusChanged(const std::string& text) override { statuses.push_back(text); }
  void stepBegan(const ProgressStep&) override {}
  void waitingChanged(bool waiting) override { waits.push_back(waiting); }
  void finished(const InstallFlow::Outcome& outcome) override { this->outcome = outcome; }
  void settled() override { hasSettled = true; }

  bool hasSettled = false;
  std::vector<std::string> statuses;
  std::vector<bool> waits;
  std::optional<InstallFlow::Outcome> outcome;
};

class InstallFlowTest : public AppTest {
 protected:
  void SetUp() override {
    rhino7_ = addRhino(7, "Rhino 7.app");
    rhino8_ = addRhino(8, "Rhino 8.app");
    engine_ = engineFactory()(box_.resources(), box_.home());
    listed_ = InstallFlow::discover(*engine_);
  }
  pid_t running(const fs::path& application, bool quitsWhenAsked = true) {
    return toolkit_.startApplication({application, quitsWhenAsked});
  }
  // Starts an attempt for the listed targets of majors (all: none named).
  void start(InstallFlow::Options options, const std::vector<std::int64_t>& majors = {}) {
    recorder_ = Recorder();
    flow_ = std::make_unique<InstallFlow>(*engine_, toolkit_, toolkit_, options, recorder_);
    flow_->start(std::get<InstallFlow::Choice>(InstallFlow::choose(listed_, majors, options.operation)));
  }
  // Lets the wait's ticks pass and the transaction run until the attempt ends.
  const InstallFlow::Outcome& finish() {
    for (int tick = 0; tick < 10 && !recorder_.outcome; ++tick) {
      toolkit_.advance(0.25);
      toolkit_.runBackgroundJobs();
    }
    EXPECT_TRUE(recorder_.outcome);
    return *recorder_.outcome;
  }
  const InstallFlow::Outcome& attempt(InstallFlow::Options options, std::vector<std::int64_t> majors = {}) {
    start(options, std::move(majors));
    return finish();
  }
  bool installed(std::int64_t major) const { return fs::exists(box_.destination(major) / "1.3.0"); }

  fs::path rhino7_, rhino8_;
  std::unique_ptr<InstallEngine> engine_;
  std::vector<RhinoTarget> listed_;
  Recorder recorder_;
  std::unique_ptr<InstallFlow> flow_;
};

// A located application stands for its version once; a path that is not a
// Rhino, and a version not found, are refused in the command line's words and
// as the operation asked for.
TEST_F(InstallFlowTest, ChoosesTheNamedRhinosAndRefusesTheRestByName) {
  const auto message = [](const auto& ended) {
    return std::holds_alternative<InstallFlow::Outcome>(ended) ? std::get<InstallFlow::Outcome>(ended).message : "";
  };
  const fs::path other = addRhino(7, box_.home() / "Elsewhere/Rhino 7.app");
  std::vector<RhinoTarget> listed = listed_;
  InstallFlow::locate(*engine_, other, Operation::install, InstallFlow::Audience::commandLine, listed);
  const auto choice = std::get<InstallFlow::Choice>(InstallFlow::choose(listed, {8, 7, 7}, Operation::install));  // it stands for Rhino 7, once
  ASSERT_EQ(choice.chosen().size(), 2u);
  EXPECT_EQ(choice.chosen()[0].application, other);
  EXPECT_EQ(choice.chosen()[1].application, rhino8_);

  const auto why = [&](const fs::path& application) {
    return message(InstallFlow::locate(*engine_, application, Operation::install, InstallFlow::Audience::commandLine, listed));
  };
  nimbra::testing::writeFile(box_.home() / "File.app", "");
  EXPECT_EQ(why(box_.home() / "No.app"), "\u201c" + (box_.home() / "No.app").string() + "\u201d does not exist.");
  EXPECT_EQ(why(box_.home() / "File.app"), "\u201c" + (box_.home() / "File.app").string() + "\u201d is not a folder.");
  EXPECT_EQ(why(box_.home()), "\u201c" + box_.home().string() + "\u201d is not a Rhino 7 or Rhino 8 application.");
  EXPECT_EQ(listed.size(), 2u) << "a refused application is not listed";
  fs::remove_all(rhino7_);
  const auto notFound = InstallFlow::choose(InstallFlow::discover(*engine_), {7}, Operation::uninstall);
  EXPECT_EQ(message(notFound), "Rhino 7 was not found.");
  EXPECT_EQ(std::get<InstallFlow::Outcome>(notFound).operation, Operation::uninstall) << "the refusal of what was asked";
  const auto notRhino = InstallFlow::locate(*engine_, box_.home(), Operation::restore, InstallFlow::Audience::window, listed);
  EXPECT_EQ(std::get<InstallFlow::Outcome>(notRhino).operation, Operation::restore);
}

TEST_F(InstallFlowTest, WaitsForEveryQuitProcessAndForARhinoStartedMeanwhile) {
  const pid_t seven = running(rhino7_, false);
  const pid_t eight = running(rhino8_, false);
  running(box_.home() / "Applications/Other.app", false);
  box_.writeProductFile(box_.sharedLibraries() / "Nimbra.gha", "legacy");  // both Rhinos chosen: it moves
  start({});
  EXPECT_EQ(toolkit_.quitRequests(), (std::vector<pid_t>{seven, eight}));
  EXPECT_EQ(toolkit_.environmentReads(), (std::vector<pid_t>{seven, eight})) << "only a Rhino's environment is read";
  EXPECT_EQ(recorder_.statuses, std::vector<std::string>{"Save your work in Rhino to continue."});
  toolkit_.endApplication(seven);
  toolkit_.endApplication(eight);
  const pid_t late = running(rhino7_, false);  // started after the request, never asked to quit
  toolkit_.advance(0.25);
  EXPECT_EQ(recorder_.waits, std::vector<bool>{true});
  EXPECT_EQ(toolkit_.pendingBackgroundJobs(), 0u);
  toolkit_.endApplication(late);
  const InstallFlow::Outcome& outcome = finish();
  EXPECT_EQ(recorder_.waits, (std::vector<bool>{true, false}));
  EXPECT_EQ(outcome.result, Result::done);
  ASSERT_TRUE(outcome.backup);
  EXPECT_EQ(outcome.message, "Installed Nimbra 1.3.0 for Rhino 7 and Rhino 8. Backup folder: " + outcome.backup->string());
  EXPECT_TRUE(installed(7) && installed(8) && !fs::exists(box_.sharedLibraries() / "Nimbra.gha"));
  EXPECT_EQ(toolkit_.launches(), (std::vector<fs::path>{rhino7_, rhino8_})) << "each quit Rhino, once";
}

TEST_F(InstallFlowTest, ARhinoTheQuitRequestDoesNotReachIsNamedAndLeftAlone) {
  const pid_t eight = toolkit_.startApplication({rhino8_, true, false});
  start({.audience = InstallFlow::Audience::commandLine, .waitSeconds = 1});
  toolkit_.advance(1.5);
  const InstallFlow::Outcome& outcome = finish();
  EXPECT_EQ(outcome.result, Result::rhinoStillRunning);
  EXPECT_EQ(outcome.notAskedToQuit, std::vector<fs::path>{rhino8_});
  EXPECT_TRUE(outcome.message.ends_with(rhino8_.string() + " was not asked to quit: " + sentence::kQuitNotDelivered))
      << outcome.message;
  EXPECT_NE(nimbra::testing::readFile(box_.support() / "Logs/install.log")
                .find("Could not ask " + rhino8_.string() + " (process " + std::to_string(eight) + ") to quit"),
            std::string::npos);
  EXPECT_TRUE(toolkit_.launches().empty()) << "not closed by us, not opened again";
}

TEST_F(InstallFlowTest, ASharedCopyIsRefusedInEachAudiencesWordsBeforeAnyRhinoIsAskedToQuit) {
  running(rhino8_);
  box_.writeProductFile(box_.sharedLibraries() / "Nimbra.gha", "legacy");
  EXPECT_EQ(attempt({}, {8}).result, Result::refused);
  EXPECT_EQ(recorder_.outcome->message,
            "The existing Nimbra copy is shared by Rhino 7 and 8. Select both versions for this update.");
  EXPECT_EQ(attempt({.audience = InstallFlow::Audience::commandLine}, {8}).message,
            "The existing Nimbra copy is shared by Rhino 7 and 8. Install both versions: --rhino 7 --rhino 8, or no --rhino.");
  EXPECT_TRUE(toolkit_.quitRequests().empty());
  EXPECT_EQ(box_.backupFolders().size(), 0u);
}

TEST_F(InstallFlowTest, AnotherInstallationStartedDuringTheWaitEndsItAsOne) {
  const pid_t eight = running(rhino8_, false);
  start({});
  fs::create_directories(box_.support());
  const FileLock held(box_.support() / "install.lock");
  toolkit_.endApplication(eight);
  const InstallFlow::Outcome& outcome = finish();
  EXPECT_EQ(outcome.result, Result::anotherInstallation);
  EXPECT_FALSE(installed(7) || installed(8));
}

TEST_F(InstallFlowTest, OpensAgainWhatQuitOrSaysWhatWasLeftClosed) {
  ASSERT_EQ(attempt({}, {7}).result, Result::done);
  EXPECT_EQ(toolkit_.launches(), std::vector<fs::path>{rhino7_}) << "the highest selected, when none was running";
  attempt({.reopen = InstallFlow::Reopen::quitOnes});
  EXPECT_EQ(toolkit_.launches().size(), 1u);

  running(rhino8_);
  toolkit_.failLaunches(true);
  EXPECT_TRUE(attempt({}).message.ends_with(" was left closed: The application cannot be opened.")) << recorder_.outcome->message;

  toolkit_.failLaunches(false);
  // A failure found only once Rhino has quit: Rhino is opened again all the same.
  running(rhino8_);
  start({}, {8});
  fs::remove_all(box_.resources() / "Rhino8");
  EXPECT_EQ(finish().result, Result::failed);
  EXPECT_TRUE(recorder_.outcome->message.ends_with(" Nothing was changed: the plug-in files are as they were before."))
      << recorder_.outcome->message;
  EXPECT_EQ(toolkit_.launches(), (std::vector<fs::path>{rhino7_, rhino8_}));
}


// The window keeps watching a Rhino still quitting when the attempt ends,
// and opens it again once it has quit.
TEST_F(InstallFlowTest, ARhinoStillQuittingWhenTheAttemptEndsOpensAgainOnceItHasQuit) {
  const pid_t seven = running(rhino7_, false);
  running(rhino8_, false);
  start({});
  flow_->cancel();
  toolkit_.advance(0.25);
  ASSERT_TRUE(recorder_.outcome);
  EXPECT_EQ(recorder_.outcome->result, Result::cancelled);
  EXPECT_TRUE(toolkit_.launches().empty() && !recorder_.hasSettled) << "both are still quitting";
  toolkit_.advance(10);
  toolkit_.endApplication(seven);  // its user has answered "save changes?"
  toolkit_.advance(0.25);
  EXPECT_EQ(toolkit_.launches(), std::vector<fs::path>{rhino7_});
  EXPECT_FALSE(recorder_.hasSettled);
  toolkit_.advance(InstallFlow::kReopenGrace);  // Rhino 8 never quits: it runs on, and the attempt is over
  EXPECT_TRUE(recorder_.hasSettled);
  EXPECT_EQ(toolkit_.launches(), std::vector<fs::path>{rhino7_});
  const std::string log = nimbra::testing::readFile(box_.support() / "Logs/install.log");
  EXPECT_NE(log.find("Asked " + rhino7_.string() + " (process " + std::to_string(seven) + ") to quit."), std::string::npos);
  EXPECT_NE(log.find(rhino8_.string() + " has not quit; it runs on."), std::string::npos) << log;
}

}  // namespace
}  // namespace nimbra::ui::testing
