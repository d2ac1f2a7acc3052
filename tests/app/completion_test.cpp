#include <cmath>

#include "app/celebration_view.h"
#include "app/visual_kit.h"
#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {
namespace {

class Completion : public AppTest {
 protected:
  void installBoth() {
    addRhino(7, "Rhino 7.app");
    addRhino(8, "Rhino 8.app");
    launch();
    named("Open Rhino after installation").press();
    installNow();
    ASSERT_TRUE(shows("You're ready."));
  }
  // The celebration, while it is in the window.
  CelebrationView* overlay() const {
    return dynamic_cast<CelebrationView*>(content().subviews().back().get());
  }
};

TEST_F(Completion, ButterfliesFlyForSevenAndAHalfSecondsWithoutTakingClicks) {
  installBoth();
  const std::shared_ptr<View> celebration = content().subviews().back();
  ASSERT_TRUE(overlay()) << "the celebration is on top";
  EXPECT_FALSE(overlay()->takesClicks());
  EXPECT_EQ(overlay()->butterflies().size(), 46u);
  toolkit_.advance(7.49);
  EXPECT_EQ(celebration->superview(), &content());
  toolkit_.advance(0.02);
  EXPECT_EQ(celebration->superview(), nullptr);
  EXPECT_TRUE(named("Done").press());
}

TEST_F(Completion, NothingFliesWhenMotionIsReducedOrTheLogoIsMissing) {
  toolkit_.setReduceMotion(true);
  installBoth();
  EXPECT_TRUE(overlay()->butterflies().empty());
  toolkit_.advance(10);
  EXPECT_TRUE(overlay()) << "the empty overlay stays";
  EXPECT_TRUE(named("Done").press());
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

  // The flutter narrows the wings to 0.35 and back, 25 times, from the start.
  EXPECT_NEAR(view->poseAt(45, last.flutter).scaleX, 0.35, 1e-9);
  EXPECT_NEAR(view->poseAt(45, 2 * last.flutter).scaleX, 1, 1e-9);
  EXPECT_DOUBLE_EQ(view->poseAt(45, 50 * last.flutter + 0.01).scaleX, 1);
}

}  // namespace
}  // namespace nimbra::ui::testing
