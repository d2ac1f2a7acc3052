// Cuts the power before every call an install, an uninstall or a restore makes
// to the file system (with the backups on the home's file system and on one of
// their own), and before every call of the recovery of each state such a cut
// of an install leaves. The disk
// is rewritten to the worst state the cut could leave, and to states drawn
// between that and the whole disk. After each: nothing is lost, recovery puts
// the folders back as they were before or as a finished install leaves them,
// and the next install succeeds and leaves exactly what a reference install
// leaves, with no staging folder behind.

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <set>

#include "engine/platform/file_manager.h"
#include "tests/support/power_cut_disk.h"
#include "tests/transaction/harness.h"

namespace nimbra::testing {
namespace {

namespace fs = std::filesystem;

// Disk states tried at every point: the worst, the one where every change of
// names survives, and one drawn between the worst and the whole disk (not
// for recoveries, which are tried from many states). A state that leaves the
// same disk as one tried before at that point is passed by. Under the
// sanitizers, which look for memory and thread errors, every point is still
// cut, in its worst state only.
#ifdef NIMBRA_SANITIZED
constexpr int kStates = 1;
constexpr int kRecoveryStates = 1;
#else
constexpr int kStates = 3;
constexpr int kRecoveryStates = 2;
#endif

// Every name below root with its kind and bytes, in one number that is the
// same for alike disks in two sandboxes.
std::size_t diskDigest(const fs::path& root) {
  std::string text;
  for (const auto& [path, value] : snapshotOf(root, [](const fs::path&) { return false; })) {
    text += path + '\0' + value + '\0';
  }
  return std::hash<std::string>{}(text);
}

// Runs body over a disk whose power is cut at point (past its last call:
// once it has returned). False when the cut left a disk in seen already, or
// no disk: a state the cut cannot leave.
bool cutDuring(InstallSandbox& box, const Scenario& scenario, int point, int state,
               const std::function<void(InstallEngine&)>& body, std::set<std::size_t>& seen) {
  const int status = runInChild([&] {
    PowerCutDisk disk(box.root());
    shapeDisk(disk, box, scenario);
    disk.cutPowerAt(point, state);
    FileManager fm(disk);
    body(*box.engine(fm));
    disk.cutPower(state);
  });
  if (status == kNoSuchStateStatus) return false;
  EXPECT_EQ(status, kPowerCutStatus) << "the run ended otherwise";
  return seen.insert(diskDigest(box.root())).second;
}

// What must hold after any cut; finished: the cut came after the install had
// returned, so what it reported done must stay done; recovered: the disks
// recovered so far, from each of which the next run is tried once. (The
// checks need no real flush: their disk is the model, left uncut.)
void expectRecoverable(InstallSandbox& box, const Snapshot& before, const std::string& context,
                       const Scenario& scenario, bool finished = false, std::set<std::size_t>* recovered = nullptr) {
  expectNothingLost(box, before, context);
  PowerCutDisk disk(box.root());
  shapeDisk(disk, box, scenario);
  FileManager fm(disk);
  const std::unique_ptr<InstallEngine> engine = box.engine(fm);
  try {
    engine->recoverInterrupted(ignoreProgress);
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
  EXPECT_TRUE(complete == 1 || !finished) << context << ": an install that returned did not last";
  EXPECT_EQ(differences(complete != 0 ? finishedSnapshot(scenario) : before, box.snapshot()), "")
      << context << (complete != 0 ? ", finished" : ", undone");
  // The next run from a recovered disk met before does what it did then.
  if (recovered != nullptr && !recovered->insert(diskDigest(box.root())).second) return;
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

void copyTree(const fs::path& from, const fs::path& to) {
  for (const auto& entry : fs::directory_iterator(to)) fs::remove_all(entry.path());
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
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

TEST(PowerCut, AtEveryCallOfEachOperationNothingIsLostAndTheNextRunFinishes) {
  for (const Scenario& scenario : allScenarios()) {
    const int calls = callsOf(scenario);
    int disksTried = 0;
    for (int point = 1; point <= calls + 1 && !::testing::Test::HasFailure(); ++point) {
      std::set<std::size_t> disks;
      for (int state = 0; state < kStates; ++state) {
        InstallSandbox box;
        prepare(box, scenario);
        const Snapshot before = box.snapshot();
        const auto run = [&](InstallEngine& engine) { transact(engine, box, scenario); };
        if (!cutDuring(box, scenario, point, state, run, disks)) continue;
        expectRecoverable(box, before,
                          nameOf(scenario) + " cut at call " + std::to_string(point) + " of " + std::to_string(calls) +
                              ", state " + std::to_string(state),
                          scenario, point > calls);
        ++disksTried;
      }
    }
    EXPECT_GT(calls, 20);
    if (::testing::Test::HasFailure()) return;
    std::cout << "[ harness ] power cut: " << calls + 1 << " call points in " << nameOf(scenario) << ", "
              << disksTried << " distinct disks, all held\n";
  }
}

// Cuts the power at every call of the recovery of each distinct state that a
// cut of the scenario's operation leaves. One test for each scenario, so that
// each has its own time limit and they run side by side.
void recoverAtEveryCall(const Scenario& scenario) {
  const int calls = callsOf(scenario);
  std::set<std::string> seen;
  // Recoveries of different interrupted runs meet on the same disks: each is
  // checked once.
  std::set<std::size_t> disks, recovered;
  int interrupted = 0;
  int points = 0, disksTried = 0;
  for (int point = 1; point <= calls && !::testing::Test::HasFailure(); ++point) {
    InstallSandbox box;
    prepare(box, scenario);
    const Snapshot before = box.snapshot();
    std::set<std::size_t> unused;
    cutDuring(box, scenario, point, 0, [&](InstallEngine& engine) { transact(engine, box, scenario); }, unused);
    const std::vector<std::string> states = receiptStates(box);
    if (std::find(states.begin(), states.end(), "installing") == states.end()) continue;
    if (!seen.insert(fingerprint(box)).second) continue;
    ++interrupted;

    TemporaryFolder saved;
    copyTree(box.root(), saved.path());
    int recoveryCalls = 0;
    {
      PowerCutDisk disk(box.root());
      shapeDisk(disk, box, scenario);
      FileManager fm(disk);
      box.engine(fm)->recoverInterrupted(ignoreProgress);
      recoveryCalls = disk.calls();
    }
    for (int cut = 1; cut <= recoveryCalls + 1 && !::testing::Test::HasFailure(); ++cut) {
      for (int state = 0; state < kRecoveryStates; ++state) {
        copyTree(saved.path(), box.root());
        const auto recover = [](InstallEngine& engine) { engine.recoverInterrupted(ignoreProgress); };
        if (!cutDuring(box, scenario, cut, state, recover, disks)) continue;
        expectRecoverable(box, before,
                          nameOf(scenario) + " cut at call " + std::to_string(point) + ", its recovery at call " +
                              std::to_string(cut) + " of " + std::to_string(recoveryCalls) + ", state " +
                              std::to_string(state),
                          scenario, false, &recovered);
        ++disksTried;
      }
    }
    points += recoveryCalls + 1;
  }
  EXPECT_GT(interrupted, 5);
  if (::testing::Test::HasFailure()) return;
  std::cout << "[ harness ] power cut: " << points << " call points in the recoveries of " << interrupted
            << " interrupted runs of " << nameOf(scenario) << ", " << disksTried << " distinct disks, all held\n";
}

TEST(PowerCut, AtEveryCallOfTheRecoveryOfAnInstallNothingIsLost) { recoverAtEveryCall({Operation::install, false}); }

TEST(PowerCut, AtEveryCallOfTheRecoveryOfAnInstallAcrossFileSystemsNothingIsLost) {
  recoverAtEveryCall({Operation::install, true});
}

TEST(PowerCut, AtEveryCallOfTheRecoveryOfARestoreAcrossFileSystemsNothingIsLost) {
  recoverAtEveryCall({Operation::restore, true});
}

}  // namespace
}  // namespace nimbra::testing
