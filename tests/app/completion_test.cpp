#include <cmath>

#include "app/celebration_view.h"
#include "app/visual_kit.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

namespace fs = std::filesystem;

class Completion : public AppTest {
 protected:
  void installBoth() {
    addRhino(7, "Rhino 7.app");
    addRhino(8, "Rhino 8.app");
    launch();
    app_->openRhino->press();
    installNow();
    ASSERT_TRUE(app_->completedBackup);
  }
  std::shared_ptr<CelebrationView> overlay() const { return app_->celebration.lock(); }
};

TEST_F(Completion, ViewBackupOpensTheBackupFolder) {
  installBoth();
  app_->viewBackupButton->press();
  EXPECT_EQ(toolkit_.openedFolders(), std::vector<fs::path>{*app_->completedBackup});
  app_->install();  // the install button's action, once installed, opens the backup too
  EXPECT_EQ(toolkit_.openedFolders().size(), 2u);
}

TEST_F(Completion, ButterfliesFlyForSevenAndAHalfSecondsWithoutTakingClicks) {
  installBoth();
  const auto celebration = overlay();
  ASSERT_TRUE(celebration);
  EXPECT_FALSE(celebration->takesClicks());
  EXPECT_EQ(celebration->butterflies().size(), 46u);
  EXPECT_EQ(app_->content->subviews().back(), celebration);
  toolkit_.advance(7.49);
  EXPECT_EQ(celebration->superview(), app_->content.get());
  toolkit_.advance(0.02);
  EXPECT_EQ(celebration->superview(), nullptr);
  EXPECT_TRUE(app_->doneButton->press());
}

TEST_F(Completion, NothingFliesWhenMotionIsReducedOrTheLogoIsMissing) {
  toolkit_.setReduceMotion(true);
  installBoth();
  EXPECT_TRUE(overlay()->butterflies().empty());
  toolkit_.advance(10);
  EXPECT_TRUE(overlay()) << "the empty overlay stays";
  EXPECT_TRUE(app_->doneButton->press());
}

TEST(CelebrationModel, FollowsTheFlightPathTimingAndFlutter) {
  HeadlessToolkit toolkit;
  nimbra::testing::TemporaryFolder folder;
  nimbra::testing::writeFile(folder.path() / "Nimbra.png", std::string("\x89PNG\r\n\x1a\n", 8));
  toolkit.setResourcesFolder(folder.path());
  auto view = make<CelebrationView>();
  view->setFrame({0, 0, 900, 650});
  view->start(toolkit, 7);
  ASSERT_EQ(view->butterflies().size(), 46u);
  for (std::size_t i = 0; i < 46; ++i) {
    const CelebrationView::Butterfly& b = view->butterflies()[i];
    EXPECT_TRUE(b.size >= 18 && b.size <= 44 && b.duration >= 3.6 && b.duration <= 5.6) << i;
    EXPECT_LE(std::abs(b.control1.x - b.start.x), 180);
  }
  const CelebrationView::Butterfly& last = view->butterflies()[45];
  EXPECT_FALSE(view->poseAt(45, last.delay - 0.01).visible()) << "invisible before its flight";
  EXPECT_NEAR(view->poseAt(45, last.delay + 0.12 * last.duration).opacity, 0.95, 1e-9);
  EXPECT_NEAR(view->poseAt(45, last.delay + 0.78 * last.duration).opacity, 0.9, 1e-9);
  EXPECT_FALSE(view->poseAt(45, last.delay + last.duration + 0.01).visible());
  EXPECT_NEAR(view->poseAt(45, last.delay + last.duration).position.y, 710, 1e-6);
  EXPECT_NEAR(view->poseAt(45, last.delay).rotation, -0.3, 1e-9);
  EXPECT_NEAR(view->poseAt(45, last.delay + last.duration / 3).rotation, 0.25, 1e-9);

  // The flutter narrows the wings to 0.35 and back, 25 times, from the start.
  EXPECT_NEAR(view->poseAt(45, last.flutter).scaleX, 0.35, 1e-9);
  EXPECT_NEAR(view->poseAt(45, 2 * last.flutter).scaleX, 1, 1e-9);
  EXPECT_DOUBLE_EQ(view->poseAt(45, 50 * last.flutter + 0.01).scaleX, 1);
}

}  // namespace
}  // namespace nimbra::ui::testing
