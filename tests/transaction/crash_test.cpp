// Ends the installing process at every mutating file-system call in turn, as
// a crash or a power cut would, and proves that nothing is lost and that the
// next install puts the user's folders back before it goes on.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>

#include "tests/support/faulty_file_manager.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

bool anyComplete(const InstallSandbox& box) {
  const std::vector<std::string> states = receiptStates(box);
  return std::find(states.begin(), states.end(), "complete") != states.end();
}

bool anyInterrupted(const InstallSandbox& box) {
  const std::vector<std::string> states = receiptStates(box);
  return std::find(states.begin(), states.end(), "installing") != states.end();
}

// Crashes the realistic install at mutation n. Returns false when the install
// made fewer than n mutations and so finished.
bool crashInstallAt(InstallSandbox& box, int n) {
  const int status = runInChild([&] {
    FaultyFileManager fm;
    fm.crashAt(n);
    box.engine(fm)->install(box.targets(), std::nullopt, ignoreProgress);
  });
  if (status == 0) return false;
  EXPECT_EQ(status, kCrashStatus) << "crash point " << n << " ended otherwise";
  return true;
}

// After recovery the folders are as before the install, or as after it when
// the crash came after its "complete" write; the next install then succeeds.
void expectRecoveredAndInstallable(InstallSandbox& box, const Snapshot& before, const std::string& context) {
  const bool complete = anyComplete(box);
  box.engine()->recoverInterrupted(ignoreProgress);
  const Snapshot recovered = box.snapshot();
  const Snapshot& expected = complete ? installedSnapshot() : before;
  EXPECT_EQ(differences(expected, recovered), "") << context << (complete ? ", after completing" : "");
  EXPECT_NO_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress)) << context;
  EXPECT_EQ(differences(installedSnapshot(), box.snapshot()), "") << context;
}

TEST(CrashHarness, EveryCrashPointOfAnInstallIsRecovered) {
  int points = 0;
  for (int n = 1;; ++n) {
    InstallSandbox box;
    prepareRealisticHome(box);
    const Snapshot before = box.snapshot();
    if (!crashInstallAt(box, n)) break;
    ++points;
    const std::string context = "install crashed at mutation " + std::to_string(n);
    expectNothingLost(box, before, context);
    expectRecoveredAndInstallable(box, before, context);
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(points, 20);
  if (!::testing::Test::HasFailure()) {
    std::cout << "[ harness ] crash: " << points << " crash points in an install, all held\n";
  }
}

TEST(CrashHarness, EveryCrashPointOfRecoveryIsRecoveredByTheNextRun) {
  int points = 0;
  int interrupted = 0;
  for (int n = 1;; ++n) {
    // Find the install crashes that leave something to recover.
    {
      InstallSandbox probe;
      prepareRealisticHome(probe);
      if (!crashInstallAt(probe, n)) break;
      if (!anyInterrupted(probe)) continue;
    }
    ++interrupted;
    for (int m = 1;; ++m) {
      InstallSandbox box;
      prepareRealisticHome(box);
      const Snapshot before = box.snapshot();
      crashInstallAt(box, n);
      const int status = runInChild([&] {
        FaultyFileManager fm;
        fm.crashAt(m);
        box.engine(fm)->recoverInterrupted(ignoreProgress);
      });
      if (status == 0) break;
      ASSERT_EQ(status, kCrashStatus);
      ++points;
      const std::string context =
          "install crashed at " + std::to_string(n) + ", its recovery at " + std::to_string(m);
      expectNothingLost(box, before, context);
      expectRecoveredAndInstallable(box, before, context);
      if (::testing::Test::HasFailure()) return;
    }
  }
  EXPECT_GT(interrupted, 5);
  EXPECT_GT(points, interrupted);
  if (::testing::Test::HasFailure()) return;
  std::cout << "[ harness ] crash: " << points << " crash points in recovery after " << interrupted
            << " interrupted installs, all held\n";
}

}  // namespace
}  // namespace nimbra::testing
