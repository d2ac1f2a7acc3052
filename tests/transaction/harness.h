#pragma once

// The realistic install that the power-cut, fault and concurrency harnesses
// run: two targets, each with an earlier version in place, a legacy copy in
// Grasshopper's shared library folder and one in a folder that a settings
// file names, files of other plug-ins that must never be touched, and the
// staging folders of two installs cut off earlier.

#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/install_sandbox.h"
#include "tests/support/power_cut_disk.h"

namespace nimbra::testing {

void prepareRealisticHome(InstallSandbox& box);

// What the harnesses run over the realistic home: an install, an uninstall,
// or a restore of the backup that an install of it left; with the backups on
// the home's file system, or on one of their own (every move into or out of
// them then crosses file systems).
struct Scenario {
  Operation operation = Operation::install;
  bool backupsElsewhere = false;
};

// Every scenario, the plain install first.
std::vector<Scenario> allScenarios();

// The realistic home, and for a restore the install whose backup it restores.
void prepare(InstallSandbox& box, const Scenario& scenario = {});

// Lays the scenario's file systems over the disk model.
void shapeDisk(PowerCutDisk& disk, const InstallSandbox& box, const Scenario& scenario);

// Runs the scenario's operation over the realistic home's targets; a restore
// whose backup has been put back already is not made again.
void transact(InstallEngine& engine, const InstallSandbox& box, const Scenario& scenario = {});

// The user's folders after the scenario's operation succeeded once.
const Snapshot& finishedSnapshot(const Scenario& scenario = {});

// Everything below the box's root as it stands.
PowerCutDisk::Image imageOf(const InstallSandbox& box);
// One number for disks alike to the engine: the log left out (it only ever
// adds to it), and the names drawn at random (UUIDs, temporary files'
// numbers) numbered in the order they appear.
std::size_t digestOf(const PowerCutDisk::Image& image, const InstallSandbox& box);

// "install", "restore with the backups on another file system", for messages.
std::string nameOf(const Scenario& scenario);
// gtest's name for a scenario in a test's parameters.
void PrintTo(const Scenario& scenario, std::ostream* out);
// "Install", "RestoreAcrossFileSystems", for test names.
std::string tagOf(const Scenario& scenario);

// Runs body in a child process; returns its exit status, or 128 + the
// signal that ended it. body's exceptions end the child with status 1.
int runInChild(const std::function<void()>& body);

// Fails the test unless every file of before is still at its path with the
// same bytes, or, where a receipt records it (or a folder holding it) as
// moved aside, at its recorded backup path with those bytes.
void expectNothingLost(const InstallSandbox& box, const Snapshot& before, const std::string& context);

// The states of every readable receipt in the Backups folder.
std::vector<std::string> receiptStates(const InstallSandbox& box);

void ignoreProgress(const ProgressStep&);

}  // namespace nimbra::testing

namespace nimbra::testing {

// Which of a harness's call points run. With NIMBRA_SWEEP=full, every one.
// Otherwise every kind of call point at least once (a point of each kind
// drawn at random) and a share of the rest, drawn from a seed that each
// harness prints and NIMBRA_SEED=<seed> replays.
class Sweep {
 public:
  // share: of the points beyond one of each kind, how many run by default.
  Sweep(const std::string& harness, double share);
  bool full() const { return full_; }
  // For points of these kinds, in order: whether each runs. A kind met in an
  // earlier call counts as tried.
  std::vector<bool> choose(const std::vector<std::string>& kinds);

 private:
  bool full_ = false;
  double share_;
  std::mt19937_64 random_;
  std::set<std::string> tried_;
};

// The kind of a call, as the disk model logs it ("rename <from> -> <to>"):
// its verb and where it acts, without the names drawn at random or what
// lies inside a staged, set-aside or backed-up copy.
std::string kindOf(const std::string& call, const std::filesystem::path& root);

}  // namespace nimbra::testing
