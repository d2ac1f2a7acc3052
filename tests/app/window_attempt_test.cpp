#include "app/visual_kit.h"
#include "engine/platform/file_lock.h"
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

// Cancel only while waiting, with the focus; a wait that ends with Rhino
// still running told urgently; then a step of the progress for each step of
// the work. The real window carries these to a screen reader in the
// end-to-end test.
TEST_F(WindowAttempt, WaitsWithCancelAndTellsAScreenReaderEachStep) {
  const pid_t eight = running(rhino8_, false);
  launch();
  const Window& window = *toolkit_.shownWindow();
  named("Install Nimbra").press();
  EXPECT_TRUE(waiting());
  EXPECT_EQ(window.firstResponder(), &named("Cancel"));
  ASSERT_FALSE(window.announcements().empty());
  EXPECT_EQ(window.announcements().back(), (Window::Announcement{"Save your work in Rhino to continue."}));
  toolkit_.advance(121);
  EXPECT_EQ(window.announcements().back().urgency, Window::Urgency::assertive) << "Rhino still runs: act now";
  EXPECT_EQ(window.firstResponder(), nullptr) << "the focus goes back where it was";
  EXPECT_TRUE(named("Cancel").hidden());

  // An install cut off before this one: its recovery is the first step, and
  // the bar shows the engine's count, rising only, to its end.
  box_.cutOffUpgrade(7);
  const auto& progress = named<ProgressBar>("Progress");
  std::vector<std::pair<int, int>> shown;
  View::setChangeObserver([&] {
    if (shown.empty() || shown.back() != std::pair(progress.done(), progress.total())) shown.emplace_back(progress.done(), progress.total());
  });
  named("Install Nimbra").press();
  toolkit_.endApplication(eight);
  toolkit_.advance(0.25);
  toolkit_.runBackgroundJobs();
  View::setChangeObserver(nullptr);
  std::vector<int> steps;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const auto [done, total] = shown[i];
    EXPECT_TRUE(i == 0 || shown[i - 1].first * total <= done * shown[i - 1].second) << "the bar went back at " << i;
    if (total == 6 && (steps.empty() || steps.back() != done)) steps.push_back(done);
  }
  EXPECT_EQ(steps, (std::vector<int>{0, 1, 2, 3, 4, 5, 6})) << "recovered, checked 7 and 8, backed up, installed 7 and 8";
  EXPECT_EQ(shown.back(), std::pair(6, 6));
  EXPECT_EQ(window.announcements().back().text, "Installed for Rhino 7 and Rhino 8");
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

}  // namespace
}  // namespace nimbra::ui::testing
