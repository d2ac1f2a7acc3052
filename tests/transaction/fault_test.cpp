// Fails each call an install, an uninstall or a restore makes to the file
// system in turn with a real error (with the backups on the home's file system
// and on one of their own), and then calls of the roll-back after it, and proves that the error
// reaches the caller, the user's folders are as before, and the receipt tells
// the truth.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <set>

#include "engine/platform/file_manager.h"
#include "engine/recovery.h"
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
                       std::vector<std::string>* log = nullptr, const Scenario& scenario = {}) {
  PowerCutDisk disk(box.root());
  shapeDisk(disk, box, scenario);
  for (const auto& [n, error] : faults) disk.failAt(n, error);
  FileManager fm(disk);
  Outcome outcome;
  try {
    transact(*box.engine(fm), box, scenario);
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

void expectInstallsAgain(InstallSandbox& box, const std::string& context, const Scenario& scenario = {}) {
  EXPECT_NO_THROW(transact(*box.engine(), box, scenario)) << context;
  EXPECT_EQ(differences(finishedSnapshot(scenario), box.snapshot()), "") << context << ", run again";
}

// Of the failing calls beyond one of each kind, the share a default run tries.
constexpr double kShare = 0.25;

// The kind of each call the scenario's operation makes from the prepared
// disk (in its order of listing folders, which a disk written again keeps).
std::vector<std::string> callKinds(InstallSandbox& box, const Scenario& scenario, const PowerCutDisk::Image& prepared) {
  PowerCutDisk::write(box.root(), prepared);
  std::vector<std::string> log;
  EXPECT_TRUE(installFailing(box, {}, &log, scenario).finished);
  std::vector<std::string> kinds;
  for (const std::string& call : log) kinds.push_back(kindOf(call, box.root()));
  return kinds;
}

class FaultOf : public ::testing::TestWithParam<Scenario> {};

TEST_P(FaultOf, EveryFailingCallIsRolledBackAndReported) {
  const Scenario& scenario = GetParam();
  Sweep sweep("fault of " + nameOf(scenario), kShare);
  InstallSandbox box;
  prepare(box, scenario);
  const PowerCutDisk::Image prepared = imageOf(box);
  const Snapshot before = box.snapshot();
  const std::vector<std::string> statesBefore = receiptStates(box);
  const std::vector<std::string> kinds = callKinds(box, scenario, prepared);
  const std::vector<bool> chosen = sweep.choose(kinds);
  std::set<std::size_t> rolledBack;
  int points = 0;
  for (int n = 1; n <= static_cast<int>(kinds.size()) && !HasFailure(); ++n) {
    if (!chosen[n - 1]) continue;
    const int error = kErrors[n % 3];
    PowerCutDisk::write(box.root(), prepared);
    std::vector<std::string> log;
    const Outcome outcome = installFailing(box, {{n, error}}, &log, scenario);
    const std::string context =
        nameOf(scenario) + ", call " + std::to_string(n) + " failing with " + std::strerror(error);
    ++points;
    if (outcome.finished) {  // a failure it may absorb: what it did must still be whole
      EXPECT_EQ(differences(finishedSnapshot(scenario), box.snapshot()), "") << context;
      continue;
    }
    EXPECT_EQ(outcome.code, std::error_code(error, std::system_category())) << context << ": " << outcome.message;
    EXPECT_EQ(differences(before, box.snapshot()), "") << context;
    std::vector<std::string> states = statesBefore;
    if (const int made = backupFolderCall(log, box); n > made && made > 0) states.push_back("restored");
    std::vector<std::string> now = receiptStates(box);
    std::sort(states.begin(), states.end());
    std::sort(now.begin(), now.end());
    EXPECT_EQ(now, states) << context;
    // A disk rolled back alike before is run again alike.
    if (rolledBack.insert(digestOf(imageOf(box), box)).second) expectInstallsAgain(box, context, scenario);
  }
  if (HasFailure()) return;
  std::cout << "[ harness ] fault: " << points << " of " << kinds.size()
            << " failing calls (EIO, ENOSPC, EACCES) in " << nameOf(scenario) << ", all held\n";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, FaultOf, ::testing::ValuesIn(allScenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return tagOf(info.param); });

class DoubleFaultOf : public ::testing::TestWithParam<Scenario> {};

TEST_P(DoubleFaultOf, ARollBackThatFailsTooLosesNothingAndIsFinishedByRecovery) {
  const Scenario& scenario = GetParam();
  Sweep sweep("double fault of " + nameOf(scenario), kShare);
  InstallSandbox box;
  prepare(box, scenario);
  const PowerCutDisk::Image prepared = imageOf(box);
  const Snapshot before = box.snapshot();
  const std::vector<std::string> kinds = callKinds(box, scenario, prepared);
  const std::vector<bool> chosen = sweep.choose(kinds);
  const int calls = static_cast<int>(kinds.size());
  std::set<std::size_t> recovered;
  int points = 0;
  for (int n = 1; n <= calls && !HasFailure(); ++n) {
    for (int k = n + 1; k <= n + 3 && chosen[n - 1]; ++k) {
      PowerCutDisk::write(box.root(), prepared);
      const Outcome outcome = installFailing(box, {{n, EIO}, {k, EACCES}}, nullptr, scenario);
      if (outcome.finished) continue;
      ++points;
      const std::string context =
          nameOf(scenario) + ", calls " + std::to_string(n) + " and " + std::to_string(k) + " failing";
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
      Recovery(*box.engine()).recoverInterrupted(ignoreProgress);
      EXPECT_EQ(differences(before, box.snapshot()), "") << context;
      if (recovered.insert(digestOf(imageOf(box), box)).second) expectInstallsAgain(box, context, scenario);
    }
  }
  if (HasFailure()) return;
  std::cout << "[ harness ] fault: " << points << " double failures in roll-backs of " << nameOf(scenario)
            << ", all held\n";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, DoubleFaultOf,
                         ::testing::Values(Scenario{Operation::install, false}, Scenario{Operation::install, true}),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return tagOf(info.param); });

}  // namespace
}  // namespace nimbra::testing
