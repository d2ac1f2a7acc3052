// Fails each call an install makes to the file system in turn with a real
// error, and then calls of the roll-back after it, and proves that the error
// reaches the caller, the user's folders are as before, and the receipt tells
// the truth.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "engine/platform/file_manager.h"
#include "tests/support/power_cut_disk.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kErrors[] = {EIO, ENOSPC, EACCES};

struct Outcome {
  bool finished = false;
  std::string message;
  std::error_code code;
};

Outcome installFailing(InstallSandbox& box, const std::vector<std::pair<int, int>>& faults,
                       std::vector<std::string>* log = nullptr, Operation operation = Operation::install) {
  PowerCutDisk disk(box.root());
  for (const auto& [n, error] : faults) disk.failAt(n, error);
  FileManager fm(disk);
  Outcome outcome;
  try {
    transact(*box.engine(fm), box, operation);
    outcome.finished = true;
  } catch (const fs::filesystem_error& error) {
    outcome.message = error.what();
    outcome.code = error.code();
  } catch (const std::exception& error) {
    outcome.message = error.what();
  }
  if (log != nullptr) *log = disk.log();
  return outcome;
}

// The call that makes this install's backup folder durable (the flush after
// its mkdir): from then on a failure leaves a receipt.
int backupFolderCall(const std::vector<std::string>& log, const InstallSandbox& box) {
  const std::string made = "mkdir " + (box.support() / "Backups").string() + "/";
  for (std::size_t i = 0; i < log.size(); ++i) {
    if (log[i].starts_with(made)) return static_cast<int>(i) + 2;
  }
  return 0;
}

void expectInstallsAgain(InstallSandbox& box, const std::string& context, Operation operation = Operation::install) {
  EXPECT_NO_THROW(transact(*box.engine(), box, operation)) << context;
  EXPECT_EQ(differences(finishedSnapshot(operation), box.snapshot()), "") << context << ", run again";
}

TEST(FaultHarness, EveryFailingCallIsRolledBackAndReported) {
  for (const Operation operation : {Operation::install, Operation::uninstall}) {
    const int calls = callsOf(operation);
    int points = 0;
    for (int n = 1; n <= calls && !::testing::Test::HasFailure(); ++n) {
      const int error = kErrors[n % 3];
      InstallSandbox box;
      prepareRealisticHome(box);
      const Snapshot before = box.snapshot();
      std::vector<std::string> log;
      const Outcome outcome = installFailing(box, {{n, error}}, &log, operation);
      const std::string context =
          nameOf(operation) + ", call " + std::to_string(n) + " failing with " + std::strerror(error);
      ++points;
      if (outcome.finished) {  // a failure it may absorb: what it did must still be whole
        EXPECT_EQ(differences(finishedSnapshot(operation), box.snapshot()), "") << context;
        continue;
      }
      EXPECT_EQ(outcome.code, std::error_code(error, std::system_category())) << context << ": " << outcome.message;
      EXPECT_EQ(differences(before, box.snapshot()), "") << context;
      const int made = backupFolderCall(log, box);
      EXPECT_EQ(receiptStates(box),
                n > made && made > 0 ? std::vector<std::string>{"restored"} : std::vector<std::string>{})
          << context;
      expectInstallsAgain(box, context, operation);
    }
    if (::testing::Test::HasFailure()) return;
    std::cout << "[ harness ] fault: " << points << " failing calls (EIO, ENOSPC, EACCES) in an " << nameOf(operation)
              << ", all held\n";
  }
}

TEST(FaultHarness, ARollBackThatFailsTooLosesNothingAndIsFinishedByRecovery) {
  const int calls = callsOf(Operation::install);
  int points = 0;
  for (int n = 1; n <= calls && !::testing::Test::HasFailure(); ++n) {
    for (int k = n + 1; k <= n + 3; ++k) {
      InstallSandbox box;
      prepareRealisticHome(box);
      const Snapshot before = box.snapshot();
      const Outcome outcome = installFailing(box, {{n, EIO}, {k, EACCES}});
      if (outcome.finished) continue;
      ++points;
      const std::string context = "calls " + std::to_string(n) + " and " + std::to_string(k) + " failing";
      expectNothingLost(box, before, context);
      if (outcome.message.starts_with("Installation stopped. Restore the saved files from ")) {
        ASSERT_EQ(box.backupFolders().size(), 1u) << context;
        EXPECT_TRUE(outcome.message.starts_with("Installation stopped. Restore the saved files from " +
                                                box.backupFolders().at(0).string() + ". "))
            << context;
        EXPECT_EQ(receiptStates(box), std::vector<std::string>{"recovery-required"}) << context;
      } else {  // the first failure not absorbed (a log line may absorb one) is the one reported
        EXPECT_TRUE(outcome.code == std::errc::io_error || outcome.code == std::errc::permission_denied)
            << context << ": " << outcome.message;
      }
      box.engine()->recoverInterrupted(ignoreProgress);
      EXPECT_EQ(differences(before, box.snapshot()), "") << context;
      expectInstallsAgain(box, context);
    }
  }
  if (!::testing::Test::HasFailure()) {
    std::cout << "[ harness ] fault: " << points << " double failures in roll-backs, all held\n";
  }
}

}  // namespace
}  // namespace nimbra::testing
