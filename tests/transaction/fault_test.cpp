// Fails each mutating file-system call of an install in turn with a real
// error, and then each call of the roll-back after it, and proves that the
// error reaches the caller, the user's folders are as before, and the receipt
// tells the truth.

#include <gtest/gtest.h>

#include <iostream>

#include "tests/support/faulty_file_manager.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::errc kErrors[] = {std::errc::io_error, std::errc::no_space_on_device, std::errc::permission_denied};

struct Outcome {
  bool finished = false;
  std::string message;
  std::error_code code;
};

Outcome installFailing(InstallSandbox& box, const std::vector<std::pair<int, std::errc>>& faults) {
  FaultyFileManager fm;
  for (const auto& [n, error] : faults) fm.failAt(n, error);
  Outcome outcome;
  try {
    box.engine(fm)->install(box.targets(), std::nullopt, ignoreProgress);
    outcome.finished = true;
  } catch (const fs::filesystem_error& error) {
    outcome.message = error.what();
    outcome.code = error.code();
  } catch (const std::exception& error) {
    outcome.message = error.what();
  }
  return outcome;
}

TEST(FaultHarness, EveryFailingCallIsRolledBackAndReported) {
  int points = 0;
  for (int n = 1;; ++n) {
    bool finished = false;
    for (const std::errc error : kErrors) {
      InstallSandbox box;
      prepareRealisticHome(box);
      const Snapshot before = box.snapshot();
      const Outcome outcome = installFailing(box, {{n, error}});
      if (outcome.finished) {
        finished = true;
        break;
      }
      ++points;
      const std::string context = "mutation " + std::to_string(n) + " failing with " + std::make_error_code(error).message();
      EXPECT_EQ(outcome.code, std::make_error_code(error)) << context << ": " << outcome.message;
      EXPECT_EQ(differences(before, box.snapshot()), "") << context;
      for (const std::string& state : receiptStates(box)) EXPECT_EQ(state, "restored") << context;
      EXPECT_NO_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress)) << context;
    }
    if (finished || ::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(points, 60);
  if (!::testing::Test::HasFailure()) {
    std::cout << "[ harness ] fault: " << points << " fault points (EIO, ENOSPC, EACCES), all held\n";
  }
}

TEST(FaultHarness, ARollBackThatFailsTooLosesNothingAndIsFinishedByRecovery) {
  int points = 0;
  for (int n = 1;; ++n) {
    bool finished = false;
    for (int k = n + 1; k <= n + 8; ++k) {
      InstallSandbox box;
      prepareRealisticHome(box);
      const Snapshot before = box.snapshot();
      const Outcome outcome =
          installFailing(box, {{n, std::errc::io_error}, {k, std::errc::permission_denied}});
      if (outcome.finished) {
        finished = true;
        break;
      }
      ++points;
      const std::string context = "mutations " + std::to_string(n) + " and " + std::to_string(k) + " failing";
      expectNothingLost(box, before, context);
      const std::vector<std::string> states = receiptStates(box);
      if (outcome.message.starts_with("Installation stopped. Restore the saved files from ")) {
        ASSERT_EQ(states.size(), 1u) << context;
        EXPECT_TRUE(outcome.message.starts_with("Installation stopped. Restore the saved files from " +
                                                box.backupFolders().at(0).string() + ". "))
            << context;
        EXPECT_EQ(states[0], "recovery-required") << context;
      } else {
        EXPECT_EQ(outcome.code, std::errc::io_error) << context << ": " << outcome.message;
      }
      box.engine()->recoverInterrupted(ignoreProgress);
      EXPECT_EQ(differences(before, box.snapshot()), "") << context;
      EXPECT_NO_THROW(box.engine()->install(box.targets(), std::nullopt, ignoreProgress)) << context;
    }
    if (finished || ::testing::Test::HasFailure()) break;
  }
  if (!::testing::Test::HasFailure()) {
    std::cout << "[ harness ] fault: " << points << " double-fault points in roll-backs, all held\n";
  }
}

}  // namespace
}  // namespace nimbra::testing
