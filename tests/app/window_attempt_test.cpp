#include "app/visual_kit.h"
#include "engine/platform/file_lock.h"
#include "tests/support/power_cut_disk.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

namespace fs = std::filesystem;

// What the window shows of an attempt; the flow's own rules are tested on
// their own.
class WindowAttempt : public AppTest {
 protected:
  void SetUp() override {
    rhino7_ = addRhino(7, "Rhino 7.app");
    rhino8_ = addRhino(8, "Rhino 8.app");
  }
  pid_t running(const fs::path& application, bool quitsWhenAsked = true) {
    return toolkit_.startApplication({application, quitsWhenAsked});
  }
  bool waiting() const { return busy() && !named("Cancel").hidden() && toolkit_.activeTimers() == 1; }
  bool installed(std::int64_t major) const { return fs::exists(box_.destination(major) / "1.3.0"); }

  fs::path rhino7_, rhino8_;
};

// Cancel only while waiting, with the focus; and what a screen reader is
// told, which the real window carries to one in the end-to-end test.
TEST_F(WindowAttempt, WaitsWithCancelAndTellsAScreenReaderEachStep) {
  const pid_t eight = running(rhino8_, false);
  launch();
  const Window& window = *toolkit_.shownWindow();
  named("Install Nimbra").press();
  EXPECT_TRUE(waiting());
  EXPECT_EQ(window.firstResponder(), &named("Cancel"));
  EXPECT_EQ(window.announcements().back(), (Window::Announcement{"Save your work in Rhino to continue."}));
  toolkit_.advance(121);
  EXPECT_EQ(window.announcements().back().urgency, Window::Urgency::assertive) << "Rhino still runs: act now";
  EXPECT_EQ(window.firstResponder(), nullptr) << "the focus goes back where it was";

  named("Install Nimbra").press();
  toolkit_.endApplication(eight);
  toolkit_.advance(0.25);
  EXPECT_TRUE(named("Cancel").hidden());
  EXPECT_TRUE(busy()) << "installing";
  toolkit_.runBackgroundJobs();
  const auto& progress = named<ProgressBar>("Progress");
  EXPECT_EQ(progress.total(), 6);
  EXPECT_EQ(progress.done(), 6);
  EXPECT_EQ(window.announcements().back().text, "Installed for Rhino 7 and Rhino 8");
}

TEST_F(WindowAttempt, RefusesToUpdateOneVersionWhileACopyIsShared) {
  box_.writeProductFile(box_.sharedLibraries() / "Nimbra.gha", "legacy");
  launch();
  named("Choose installation").press();
  named("Rhino 7").press();
  named("Install Nimbra").press();
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative,
            "The existing Nimbra copy is shared by Rhino 7 and 8. Select both versions for this update.");
  EXPECT_FALSE(busy());
  EXPECT_EQ(toolkit_.activeTimers(), 0u);

  fs::remove(box_.sharedLibraries() / "Nimbra.gha");
  installNow();
  EXPECT_TRUE(installed(8));
  EXPECT_FALSE(installed(7));
  EXPECT_TRUE(shows("Nimbra is installed for Rhino 8."));
}

TEST_F(WindowAttempt, SucceedsShowsTheVersionsAndTheBackup) {
  launch();
  installNow();
  EXPECT_TRUE(installed(7) && installed(8));
  EXPECT_FALSE(busy());
  named("View backup").press();
  ASSERT_EQ(toolkit_.openedFolders().size(), 1u);
  EXPECT_EQ(toolkit_.openedFolders()[0].parent_path(), box_.support() / "Backups");
  EXPECT_TRUE(shows("Nimbra is installed for Rhino 7 and Rhino 8."));
  // Under it, the welcome screen says so too, and offers nothing to choose.
  for (const char* text : {"Installed for Rhino 7 and Rhino 8", "Nimbra is installed.",
                           "Open Grasshopper and select the Nimbra tab."}) {
    EXPECT_TRUE(named<Label>(text).hiddenOrInHidden()) << text;
  }
  for (const char* control : {"Install automatically", "Search again", "Open Rhino after installation", "Rhino 7"}) {
    EXPECT_FALSE(named(control).enabled()) << control;
  }
}

TEST_F(WindowAttempt, SaysSoWhenRhinoCannotBeOpenedAgain) {
  toolkit_.failLaunches(true);
  launch();
  installNow();
  EXPECT_TRUE(shows("Installed. Open Rhino from Applications."));
}

TEST_F(WindowAttempt, AnEngineFailureStopsAndLeavesTheListAsItWas) {
  box_.deployEarlier(8, "9.0.0");
  launch();
  named("Choose installation").press();
  installNow();
  EXPECT_FALSE(busy());
  EXPECT_TRUE(shows("Installation stopped."));
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative, "A newer Nimbra version is already installed for Rhino 8.");
  EXPECT_TRUE(named("Choose installation").on());
  EXPECT_EQ(rhinoBoxes().size(), 2u);
  EXPECT_TRUE(rhinoBoxes()[0]->enabled());
  EXPECT_TRUE(named("Install Nimbra").enabled());
  EXPECT_FALSE(shows("You're ready."));
  EXPECT_FALSE(installed(7));

  // Held by another installation: the alert says what to do about it.
  fs::remove_all(box_.destination(8));
  const FileLock held(box_.support() / "install.lock");
  installNow();
  ASSERT_EQ(toolkit_.alerts().size(), 2u);
  EXPECT_EQ(toolkit_.alerts()[1].informative,
            "Another Nimbra installation is already running. Wait until it has finished, then press Install again.");
}

TEST_F(WindowAttempt, AFailedMoveIntoTheBackupNamesItsFolderAndSaysNothingChanged) {
  box_.deployEarlier(8, "1.2.0");
  nimbra::testing::PowerCutDisk disk(box_.root());
  disk.beforeCall([&](int, const std::string& call) {
    return call.starts_with("rename " + box_.destination(8).string() + " -> ") ? EIO : 0;
  });
  FileManager fm(disk);
  app_ = std::make_unique<InstallerApp>(toolkit_, [&](const fs::path& payload, const fs::path& home) {
    return std::make_unique<InstallEngine>(
        payload, home, fm,
        HostLocations{systemApplications_, "/nonexistent/mdfind", [this] { return toolkit_.runningApplications(); }});
  });
  toolkit_.run(*app_);
  toolkit_.runBackgroundJobs();
  installNow();
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  const fs::path backup = fs::directory_iterator(box_.support() / "Backups")->path();
  EXPECT_EQ(toolkit_.alerts()[0].informative,
            "\u201c" + box_.destination(8).string() + "\u201d could not be moved into the backup folder \u201c" +
                backup.string() + "\u201d because the disk reported an error. Nothing was changed: the plug-in files "
                "are as they were before.");
  EXPECT_EQ(nimbra::testing::readFile(box_.destination(8) / "manifest.txt"), "1.2.0\n");
  app_.reset();  // before the disk it runs on
}

}  // namespace
}  // namespace nimbra::ui::testing
