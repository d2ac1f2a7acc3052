#include "app/visual_kit.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

namespace fs = std::filesystem;

class WelcomeScreen : public AppTest {};

void expectControlsEnabled(const InstallerApp& app, bool enabled) {
  for (const auto& control : {app.automaticButton, app.customButton, app.browseButton, app.refreshButton, app.openRhino}) {
    EXPECT_EQ(control->enabled(), enabled) << control->accessibilityLabel() << control->title();
  }
}

TEST_F(WelcomeScreen, BusyWhileDiscoveringThenReadyWithTheVersion) {
  addRhino(8, "Rhino 8.app");
  launch(false);
  EXPECT_TRUE(app_->busy);
  expectControlsEnabled(*app_, false);
  EXPECT_FALSE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::surface);
  EXPECT_FALSE(app_->progress->hidden());
  EXPECT_TRUE(app_->progress->animating());
  EXPECT_EQ(app_->status->text(), "Looking for Rhino…");
  app_->discover();  // a second discovery while one runs does nothing
  EXPECT_EQ(toolkit_.pendingBackgroundJobs(), 1u);

  toolkit_.runBackgroundJobs();
  EXPECT_FALSE(app_->busy);
  expectControlsEnabled(*app_, true);
  EXPECT_TRUE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::forest);
  EXPECT_TRUE(app_->progress->hidden());
  EXPECT_EQ(app_->status->text(), "Ready to install · 1.3.0");
}

TEST_F(WelcomeScreen, ListsOneRowPerMajorWithTheFirstOfEachWinning) {
  addRhino(8, "B/Rhino 8.app");
  addRhino(8, "A/Rhino 8.app");
  addRhino(7, "Rhino 7.app");
  launch();
  ASSERT_EQ(app_->targets.size(), 2u);
  EXPECT_EQ(app_->targets[1].application, box_.home() / "Applications/A/Rhino 8.app");
  ASSERT_EQ(app_->choices.size(), 2u);
  EXPECT_EQ(app_->choices[1]->accessibilityLabel(), "Rhino 8");
  // Automatic mode: the boxes show as on but cannot be changed.
  EXPECT_TRUE(app_->choices[0]->on());
  EXPECT_FALSE(app_->choices[0]->enabled());
  EXPECT_FALSE(app_->choices[0]->press());

  const auto& location = static_cast<const Label&>(*app_->choiceArea->subviews().at(4));
  EXPECT_EQ(location.text(), (box_.home() / "Applications/Rhino 7.app").string());
  EXPECT_EQ(location.lineBreak(), LineBreak::truncateMiddle);
  EXPECT_EQ(location.toolTip(), "Install to: " + box_.destination(7).string());
}

TEST_F(WelcomeScreen, AnEmptyResultExplainsAndDisablesInstall) {
  launch();
  EXPECT_EQ(texts(*app_->choiceArea), (std::vector<std::string>{
                                          "Rhino 7 or 8 was not found.",
                                          "Install Rhino, or use Locate Rhino to select its application."}));
  EXPECT_EQ(app_->status->text(), "Rhino is required to continue.");
  EXPECT_FALSE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::surface);
}

TEST_F(WelcomeScreen, ChoosingByHandEnablesInstallOnlyWithACheckedBox) {
  addRhino(7, "Rhino 7.app");
  addRhino(8, "Rhino 8.app");
  launch();
  ASSERT_TRUE(app_->customButton->press());
  EXPECT_EQ(app_->customButton->layer().border, palette::forest);
  EXPECT_TRUE(app_->choices[0]->enabled());

  app_->choices[0]->press();
  app_->choices[1]->press();
  EXPECT_FALSE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::surface);
  EXPECT_FALSE(app_->window->pressReturn());
  app_->choices[1]->press();
  EXPECT_TRUE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::forest);

  // A mode change rebuilds the list with every box on again.
  app_->choices[1]->press();
  app_->automaticButton->press();
  app_->customButton->press();
  EXPECT_TRUE(app_->choices[0]->on() && app_->choices[1]->on());
  EXPECT_TRUE(app_->installButton->enabled());

  app_->setBusy(true);
  EXPECT_FALSE(app_->installButton->enabled());
  EXPECT_FALSE(app_->choices[0]->enabled());
  app_->setBusy(false);
  EXPECT_TRUE(app_->choices[0]->enabled());
}

TEST_F(WelcomeScreen, LocatingASecondRhino8ReplacesTheListedOne) {
  addRhino(8, "Rhino 8.app");
  launch();
  app_->customButton->press();
  app_->choices[0]->press();
  const fs::path other = addRhino(8, box_.home() / "Elsewhere/Rhino 8 WIP.app");
  toolkit_.answerNextOpenPanel(other);
  app_->browseButton->press();

  EXPECT_EQ(toolkit_.openPanelRequests().at(0).allowedExtensions, std::vector<std::string>{"app"});
  ASSERT_EQ(app_->targets.size(), 1u);
  EXPECT_EQ(app_->targets[0].application, other);
  EXPECT_TRUE(!app_->automatic && app_->choices[0]->on());
  EXPECT_EQ(app_->status->text(), "Ready to install.");

  const fs::path seven = addRhino(7, box_.home() / "Elsewhere/Rhino 7.app");
  toolkit_.answerNextOpenPanel(seven);
  app_->browseButton->press();
  ASSERT_EQ(app_->targets.size(), 2u);
  EXPECT_EQ(app_->targets[0].major, 7);
}

TEST_F(WelcomeScreen, LocatingSomethingElseOnlyExplains) {
  addRhino(8, "Rhino 8.app");
  launch();
  simulated::makeRhinoBundle(box_.home() / "Rhino 6.app", {.major = 6});
  toolkit_.answerNextOpenPanel(box_.home() / "Rhino 6.app");
  app_->browseButton->press();
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].message, "Nimbra Setup");
  EXPECT_EQ(toolkit_.alerts()[0].informative, "Select the Rhino 7 or Rhino 8 application.");
  EXPECT_TRUE(app_->automatic);
  EXPECT_EQ(app_->status->text(), "Ready to install · 1.3.0");
  EXPECT_EQ(app_->targets.size(), 1u);
}

TEST_F(WelcomeScreen, AnEngineThatCannotBeCreatedGivesOneAlertAndNoInstall) {
  nimbra::testing::writeSignedManifest(box_.resources(), R"({"version": "1.0", "packages": []})");
  launch(false);
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative, "The installer version is invalid.");
  EXPECT_FALSE(app_->engine);
  EXPECT_FALSE(app_->installButton->enabled());
  EXPECT_EQ(app_->installButton->layer().background, palette::surface);
  EXPECT_EQ(app_->status->text(), "Looking for Rhino…");
  EXPECT_EQ(toolkit_.pendingBackgroundJobs(), 0u);
  EXPECT_FALSE(app_->browseButton->enabled());
}

}  // namespace
}  // namespace nimbra::ui::testing
