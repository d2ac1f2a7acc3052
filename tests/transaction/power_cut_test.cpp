// Cuts the power before every call an install, an uninstall or a restore makes
// to the file system (with the backups on the home's file system and on one of
// their own), and before every call of the recovery of each state such a cut
// leaves. One run of each tells, before each call, what a cut there would
// leave: the worst state, the one where every change of names survives, and
// one drawn between the worst and the whole disk. Each distinct disk is then
// written out and checked: nothing is lost, recovery puts the folders back as
// they were before or as a finished run leaves them, and the next run succeeds
// and leaves exactly what a reference run leaves, with no staging folder
// behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "engine/platform/file_manager.h"
#include "engine/recovery.h"
#include "tests/support/power_cut_disk.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<int> kStates = {0, 1, 2};
// Recoveries are tried from many interrupted states: the worst and the one
// where names survive.
const std::vector<int> kRecoveryStates = {0, 1};
// Of the call points beyond one of each kind, the share a default run tries.
constexpr double kShare = 0.25;

// A disk a cut could leave, before which call of how many, in which state.
struct Cut {
  int point = 0;
  int state = 0;
  std::string kind;
  PowerCutDisk::Image image;
};
struct Cuts {
  int calls = 0;
  std::vector<Cut> cuts;
};

// Runs body once over the box's disk and returns the disk a cut before each
// of its calls, or after its last, would leave in each state, where it is not
// in seen already.
Cuts cutsOf(InstallSandbox& box, const Scenario& scenario, const std::vector<int>& states,
            const std::function<void(InstallEngine&)>& body, std::set<std::size_t>& seen) {
  PowerCutDisk disk(box.root());
  shapeDisk(disk, box, scenario);
  Cuts found;
  const auto record = [&](int point, const std::string& call) {
    for (const int state : states) {
      std::optional<PowerCutDisk::Image> image = disk.cut(state);
      if (!image || !seen.insert(digestOf(*image, box)).second) continue;
      found.cuts.push_back({point, state, kindOf(call, box.root()) + " #" + std::to_string(state), std::move(*image)});
    }
    return 0;
  };
  disk.beforeCall(record);
  FileManager fm(disk);
  EXPECT_NO_THROW(body(*box.engine(fm))) << nameOf(scenario) << ": the uncut run failed";
  disk.beforeCall(nullptr);
  found.calls = disk.calls();
  record(found.calls + 1, "end");
  return found;
}

std::vector<std::string> kindsOf(const Cuts& found) {
  std::vector<std::string> kinds;
  for (const Cut& cut : found.cuts) kinds.push_back(cut.kind);
  return kinds;
}

// What must hold after any cut; finished: the cut came after the operation
// had returned, so what it reported done must stay done; recovered: the
// disks recovered so far, from each of which the next run is tried once.
// (The checks need no real flush: their disk is the model, left uncut.)
void expectRecoverable(InstallSandbox& box, const Snapshot& before, const std::string& context,
                       const Scenario& scenario, bool finished, std::set<std::size_t>& recovered) {
  expectNothingLost(box, before, context);
  PowerCutDisk disk(box.root());
  shapeDisk(disk, box, scenario);
  FileManager fm(disk);
  const std::unique_ptr<InstallEngine> engine = box.engine(fm);
  try {
    Recovery(*engine).recoverInterrupted(ignoreProgress);
  } catch (const std::exception& error) {
    ADD_FAILURE() << context << ": recovery refused: " << error.what();
    return;
  }
  const std::vector<std::string> states = receiptStates(box);
  for (const std::string& state : states) {
    EXPECT_TRUE(state == "complete" || state == "restored") << context << ": a receipt stays " << state;
  }
  // A restore's own receipt lists what it put back; the install before it
  // stays complete.
  int complete = 0;
  for (const fs::path& folder : box.backupFolders()) {
    if (!fs::exists(folder / "receipt.json")) continue;  // cut off before its first write
    const InstallReceipt receipt = box.receiptIn(folder);
    const bool ours = scenario.operation != Operation::restore || !receipt.restoring.empty();
    complete += ours && receipt.state == "complete" ? 1 : 0;
  }
  EXPECT_LE(complete, 1) << context;
  EXPECT_TRUE(complete == 1 || !finished) << context << ": a run that returned did not last";
  EXPECT_EQ(differences(complete != 0 ? finishedSnapshot(scenario) : before, box.snapshot()), "")
      << context << (complete != 0 ? ", finished" : ", undone");
  // The next run from a recovered disk met before does what it did then.
  if (!recovered.insert(digestOf(imageOf(box), box)).second) return;
  EXPECT_NO_THROW(transact(*engine, box, scenario)) << context;
  EXPECT_EQ(differences(finishedSnapshot(scenario), box.snapshot()), "") << context << ", run again";
  EXPECT_TRUE(box.stagingLeftovers().empty()) << context << ": " << box.stagingLeftovers().front();
}

// What distinguishes one interrupted state from another for recovery: the
// user's folders, and which recorded items stand at their backup paths.
std::string fingerprint(const InstallSandbox& box) {
  std::string key = differences({}, box.snapshot());
  for (const fs::path& folder : box.backupFolders()) {
    const InstallReceipt receipt = box.receiptIn(folder);  // one is written whole or not at all
    for (const BackupItem& item : receipt.backups) {
      key += fs::exists(item.backup) ? "B" : "O";
      if (item.across) key += item.across->step + (fs::exists(item.across->aside) ? "A" : "-");
    }
    for (const RestoredItem& item : receipt.restoring) {
      key += std::string(fs::exists(item.from) ? "F" : "-") + (fs::exists(item.to) ? "T" : "-");
      if (item.across) key += item.across->step + (fs::exists(item.across->aside) ? "A" : "-");
    }
    key += receipt.state + std::to_string(receipt.deploying.size());
  }
  return key;
}

std::string where(const Cut& cut, const Cuts& of) {
  return "call " + std::to_string(cut.point) + " of " + std::to_string(of.calls) + ", state " +
         std::to_string(cut.state);
}

// The harnesses hold every cut to what one uncut run leaves: that must be
// what the operation promises, on one file system or two.
TEST(PowerCut, AnUncutRunLeavesWhatItsOperationPromises) {
  InstallSandbox prepared;
  prepareRealisticHome(prepared);
  const Snapshot home = prepared.snapshot();
  const std::string packages = "Library/Application Support/McNeel/Rhinoceros/packages/";
  for (const Scenario& scenario : allScenarios()) {
    const Snapshot& finished = finishedSnapshot(scenario);
    if (scenario.operation == Operation::restore) {
      EXPECT_EQ(differences(home, finished), "") << nameOf(scenario);
      continue;
    }
    Snapshot expected = home;
    std::erase_if(expected, [&](const auto& entry) {
      const std::string& path = entry.first;
      return path.find("/nimbra") != std::string::npos || path.ends_with("Nimbra.gha");
    });
    if (scenario.operation == Operation::install) {
      for (const std::int64_t major : {7, 8}) {
        const fs::path payload = prepared.resources() / ("Rhino" + std::to_string(major));
        const std::string destination = packages + std::to_string(major) + ".0/nimbra";
        expected[destination] = "dir";
        expected[destination + "/manifest.txt"] = "file:1.3.0\n";
        expected[destination + "/1.3.0"] = "dir";
        for (const auto& entry : fs::recursive_directory_iterator(payload)) {
          const std::string relative = destination + "/1.3.0/" + entry.path().lexically_relative(payload).string();
          expected[relative] = entry.is_directory() ? "dir" : "file:" + readFile(entry.path());
        }
      }
    }
    EXPECT_EQ(differences(expected, finished), "") << nameOf(scenario);
  }
}

class PowerCutOf : public ::testing::TestWithParam<Scenario> {};

TEST_P(PowerCutOf, EveryCallLosesNothingAndTheNextRunFinishes) {
  const Scenario& scenario = GetParam();
  Sweep sweep("power cut of " + nameOf(scenario), kShare);
  InstallSandbox box;
  prepare(box, scenario);
  const Snapshot before = box.snapshot();
  std::set<std::size_t> seen, recovered;
  const Cuts found = cutsOf(box, scenario, kStates, [&](InstallEngine& engine) { transact(engine, box, scenario); }, seen);
  const std::vector<bool> chosen = sweep.choose(kindsOf(found));
  int tried = 0;
  for (std::size_t i = 0; i < found.cuts.size() && !HasFailure(); ++i) {
    if (!chosen[i]) continue;
    const Cut& cut = found.cuts[i];
    PowerCutDisk::write(box.root(), cut.image);
    expectRecoverable(box, before, nameOf(scenario) + " cut at " + where(cut, found), scenario,
                      cut.point > found.calls, recovered);
    ++tried;
  }
  EXPECT_GT(found.calls, 20);
  if (HasFailure()) return;
  std::cout << "[ harness ] power cut: " << found.calls + 1 << " call points in " << nameOf(scenario) << ", "
            << found.cuts.size() << " distinct disks, " << tried << " tried, all held\n";
}

// Cuts the power at every call of the recovery of each distinct state that a
// cut of the scenario's operation leaves.
TEST_P(PowerCutOf, EveryCallOfTheRecoveryOfEachCutLosesNothing) {
  const Scenario& scenario = GetParam();
  Sweep sweep("power cut of the recoveries of " + nameOf(scenario), kShare);
  InstallSandbox box;
  prepare(box, scenario);
  const Snapshot before = box.snapshot();
  std::set<std::size_t> seen, disks, recovered;
  std::set<std::string> fingerprints;
  const Cuts interrupted =
      cutsOf(box, scenario, {0}, [&](InstallEngine& engine) { transact(engine, box, scenario); }, seen);
  int runs = 0, points = 0, distinct = 0, tried = 0;
  for (const Cut& cut : interrupted.cuts) {
    if (HasFailure()) break;
    PowerCutDisk::write(box.root(), cut.image);
    const std::vector<std::string> states = receiptStates(box);
    if (std::find(states.begin(), states.end(), "installing") == states.end()) continue;
    if (!fingerprints.insert(fingerprint(box)).second) continue;
    ++runs;
    const Cuts found = cutsOf(
        box, scenario, kRecoveryStates, [](InstallEngine& engine) { Recovery(engine).recoverInterrupted(ignoreProgress); }, disks);
    const std::vector<bool> chosen = sweep.choose(kindsOf(found));
    points += found.calls + 1;
    distinct += static_cast<int>(found.cuts.size());
    for (std::size_t i = 0; i < found.cuts.size() && !HasFailure(); ++i) {
      if (!chosen[i]) continue;
      PowerCutDisk::write(box.root(), found.cuts[i].image);
      expectRecoverable(box, before,
                        nameOf(scenario) + " cut at " + where(cut, interrupted) + ", its recovery at " +
                            where(found.cuts[i], found),
                        scenario, false, recovered);
      ++tried;
    }
  }
  EXPECT_GT(runs, 5);
  if (HasFailure()) return;
  std::cout << "[ harness ] power cut: " << points << " call points in the recoveries of " << runs
            << " interrupted runs of " << nameOf(scenario) << ", " << distinct << " distinct disks, " << tried
            << " tried, all held\n";
}

INSTANTIATE_TEST_SUITE_P(Scenarios, PowerCutOf, ::testing::ValuesIn(allScenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return tagOf(info.param); });

}  // namespace
}  // namespace nimbra::testing
