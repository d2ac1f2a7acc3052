#include "app/visual_kit.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

namespace fs = std::filesystem;

class WelcomeScreen : public AppTest {
 protected:
  const Button& install() const { return named("Install Nimbra"); }
};

TEST_F(WelcomeScreen, BusyWhileDiscoveringThenReadyWithTheVersion) {
  addRhino(8, "Rhino 8.app");
  launch(false);
  EXPECT_TRUE(busy());
  EXPECT_FALSE(install().enabled());
  EXPECT_EQ(install().layer().background, palette::surface);
  EXPECT_TRUE(named<ProgressBar>("Progress").animating());
  EXPECT_TRUE(shows("Looking for Rhino…"));

  toolkit_.runBackgroundJobs();
  EXPECT_FALSE(busy());
  EXPECT_TRUE(install().enabled());
  EXPECT_EQ(install().layer().background, palette::forest);
  EXPECT_TRUE(shows("Ready to install · 1.3.0"));
}

TEST_F(WelcomeScreen, ListsOneRowPerMajorWithTheFirstOfEachWinning) {
  addRhino(8, "B/Rhino 8.app");
  addRhino(8, "A/Rhino 8.app");
  addRhino(7, "Rhino 7.app");
  launch();
  EXPECT_TRUE(shows((box_.home() / "Applications/A/Rhino 8.app").string()));
  EXPECT_FALSE(shows((box_.home() / "Applications/B/Rhino 8.app").string()));
  ASSERT_EQ(rhinoBoxes().size(), 2u);
  EXPECT_EQ(rhinoBoxes()[1]->accessibleName(), "Rhino 8");
  // Automatic mode: the boxes cannot be changed.
  EXPECT_FALSE(rhinoBoxes()[0]->press());

  const auto& location = named<Label>((box_.home() / "Applications/Rhino 7.app").string());
  EXPECT_EQ(location.lineBreak(), LineBreak::truncateMiddle);
  EXPECT_EQ(location.toolTip(), "Install to: " + box_.destination(7).string());
}

TEST_F(WelcomeScreen, AnEmptyResultExplainsAndDisablesInstall) {
  launch();
  EXPECT_TRUE(shows("Rhino 7 or 8 was not found."));
  EXPECT_TRUE(shows("Install Rhino, or use Locate Rhino to select its application."));
  EXPECT_TRUE(shows("Rhino is required to continue."));
  EXPECT_FALSE(install().enabled());
  EXPECT_EQ(install().layer().background, palette::surface);
}

TEST_F(WelcomeScreen, ChoosingByHandEnablesInstallOnlyWithACheckedBox) {
  addRhino(7, "Rhino 7.app");
  addRhino(8, "Rhino 8.app");
  launch();
  ASSERT_TRUE(named("Choose installation").press());
  EXPECT_EQ(named("Choose installation").layer().border, palette::forest);
  const std::vector<Button*> boxes = rhinoBoxes();

  boxes[0]->press();
  boxes[1]->press();
  EXPECT_FALSE(install().enabled());
  EXPECT_EQ(install().layer().background, palette::surface) << "it looks as it is";
  EXPECT_FALSE(toolkit_.shownWindow()->pressReturn());
  boxes[1]->press();
  EXPECT_TRUE(install().enabled());

  // A mode change rebuilds the list with every box on again.
  rhinoBoxes()[1]->press();
  named("Install automatically").press();
  named("Choose installation").press();
  EXPECT_TRUE(rhinoBoxes()[0]->on() && rhinoBoxes()[1]->on());
  EXPECT_TRUE(install().enabled());
}

TEST_F(WelcomeScreen, LocatingSomethingElseOnlyExplains) {
  addRhino(8, "Rhino 8.app");
  launch();
  simulated::makeRhinoBundle(box_.home() / "Rhino 6.app", {.major = 6});
  toolkit_.answerNextOpenPanel(box_.home() / "Rhino 6.app");
  named("Locate Rhino…").press();
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].message, "Nimbra Setup");
  EXPECT_EQ(toolkit_.alerts()[0].informative, "Select the Rhino 7 or Rhino 8 application.");
  EXPECT_TRUE(named("Install automatically").on());
  EXPECT_TRUE(shows("Ready to install · 1.3.0"));
  EXPECT_EQ(rhinoBoxes().size(), 1u);
}

TEST_F(WelcomeScreen, AnEngineThatCannotBeCreatedGivesOneAlertAndNoInstall) {
  nimbra::testing::writeSignedManifest(box_.resources(), R"({"version": "1.0", "packages": []})");
  launch(false);
  ASSERT_EQ(toolkit_.alerts().size(), 1u);
  EXPECT_EQ(toolkit_.alerts()[0].informative, "The installer version is invalid.");
  EXPECT_FALSE(install().enabled());
  EXPECT_EQ(install().layer().background, palette::surface);
  EXPECT_TRUE(shows("Looking for Rhino…"));
  EXPECT_EQ(toolkit_.pendingBackgroundJobs(), 0u);
  EXPECT_FALSE(named("Locate Rhino…").enabled());
  EXPECT_FALSE(named("Search again").enabled());
}

}  // namespace
}  // namespace nimbra::ui::testing
