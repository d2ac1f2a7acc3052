
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

}  // namespace
}  // namespace nimbra::ui::testing
