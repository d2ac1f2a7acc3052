#include "app/visual_kit.h"
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
  bool waiting() const { return app_->busy && !app_->cancelButton->hidden() && toolkit_.activeTimers() == 1; }
  bool installed(std::int64_t major) const { return fs::exists(box_.destination(major) / "1.3.0"); }

  fs::path rhino7_, rhino8_;
};

TEST_F(WindowAttempt, ShowsCancelOnlyWhileWaitingForRhino) {
  const pid_t eight = running(rhino8_, false);
  launch();
  app_->installButton->press();
  EXPECT_TRUE(waiting());
  EXPECT_EQ(app_->status->text(), "Save your work in Rhino to continue.");
  toolkit_.endApplication(eight);
  toolkit_.advance(0.25);
  EXPECT_EQ(toolkit_.pendingBackgroundJobs(), 1u);
  EXPECT_TRUE(app_->cancelButton->hidden());
  EXPECT_TRUE(app_->busy);
}

TEST_F(WindowAttempt, RefusesToUpdateOneVersionWhileACopyIsShared) {
  box_.writeProductFile(box_.sharedLibraries() / "Nimbra.gha", "legacy");
  launch();
  app_->customButton->press();
  app_->choices[0]->press();  // Rhino 7 off
  app_->installButton->press();
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative,
            "The existing Nimbra copy is shared by Rhino 7 and 8. Select both versions for this update.");
  EXPECT_FALSE(app_->busy);
  EXPECT_EQ(toolkit_.activeTimers(), 0u);

  fs::remove(box_.sharedLibraries() / "Nimbra.gha");
  installNow();
  EXPECT_TRUE(installed(8));
  EXPECT_FALSE(installed(7));
  EXPECT_EQ(app_->status->text(), "Installed for Rhino 8");
}

TEST_F(WindowAttempt, SucceedsShowsTheVersionsAndOpensTheRhinosThatWereQuit) {
  running(rhino7_);
  running(rhino8_);
  running(rhino8_);
  launch();
  installNow();
  EXPECT_TRUE(installed(7) && installed(8));
  EXPECT_FALSE(app_->busy);
  ASSERT_TRUE(app_->completedBackup);
  EXPECT_EQ(app_->completedBackup->parent_path(), box_.support() / "Backups");
  EXPECT_EQ(app_->status->text(), "Installed for Rhino 7 and Rhino 8");
  EXPECT_EQ(app_->heading->text(), "Nimbra is installed.");
  EXPECT_EQ(app_->subtitle->text(), "Open Grasshopper and select the Nimbra tab.");
  for (const auto& control : {app_->automaticButton, app_->refreshButton, app_->openRhino, app_->choices[0]}) {
    EXPECT_FALSE(control->enabled());
  }
  EXPECT_EQ(app_->completionMessage->text(), "Nimbra is installed for Rhino 7 and Rhino 8.");
  std::vector<fs::path> launched = toolkit_.launches();
  std::sort(launched.begin(), launched.end());
  EXPECT_EQ(launched, (std::vector<fs::path>{rhino7_, rhino8_}));
}

TEST_F(WindowAttempt, SaysSoWhenRhinoCannotBeOpenedAgain) {
  toolkit_.failLaunches(true);
  launch();
  installNow();
  EXPECT_EQ(app_->status->text(), "Installed. Open Rhino from Applications.");
  EXPECT_FALSE(app_->completionNote->hidden());
  EXPECT_EQ(app_->completionNote->text(), "Installed. Open Rhino from Applications.");
}

TEST_F(WindowAttempt, AnEngineFailureStopsAndLeavesTheListAsItWas) {
  box_.deployEarlier(8, "9.0.0");
  launch();
  app_->customButton->press();
  installNow();
  EXPECT_FALSE(app_->busy);
  EXPECT_EQ(app_->status->text(), "Installation stopped.");
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative, "A newer Nimbra version is already installed for Rhino 8.");
  EXPECT_FALSE(app_->automatic);
  EXPECT_EQ(app_->choices.size(), 2u);
  EXPECT_TRUE(app_->choices[0]->enabled());
  EXPECT_TRUE(app_->installButton->enabled());
  EXPECT_FALSE(app_->completedBackup);
  EXPECT_FALSE(installed(7));
}

}  // namespace
}  // namespace nimbra::ui::testing
