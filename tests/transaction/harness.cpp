#include "tests/transaction/harness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "engine/platform/file_manager.h"
#include "tests/support/power_cut_disk.h"

namespace nimbra::testing {

namespace fs = std::filesystem;

void prepareRealisticHome(InstallSandbox& box) {
  box.deployEarlier(7, "1.2.0");
  box.deployEarlier(8, "1.2.1");
  box.writeProductFile(box.sharedLibraries() / "Nimbra.gha", "shared legacy");
  const fs::path extras = box.home() / "Grasshopper Extras";
  box.listInSettings(extras);
  box.writeProductFile(extras / "old/Nimbra.gha", "listed legacy");
  writeFile(extras / "Unrelated.gha", "another vendor's plug-in");
  writeFile(box.standardRoot(8) / "other-plugin/1.0.0/Other.gha", "another package");
  writeFile(box.home() / "Documents/model.3dm", "the user's work");
  // Two installs cut off while staging left a whole and a partial copy.
  for (const char* uuid : {"6B1E0C2A-3F4D-4E5F-8A9B-0C1D2E3F4A5B", "0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9"}) {
    const fs::path staged = box.standardRoot(8) / (std::string(".nimbra-install-") + uuid) / "1.3.0";
    fs::create_directories(staged);
    fs::copy(box.resources() / "Rhino8", staged, fs::copy_options::recursive);
  }
  fs::remove_all(box.standardRoot(8) / ".nimbra-install-0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9/1.3.0/lib/docs");
}

std::vector<Scenario> allScenarios() {
  return {{Operation::install, false}, {Operation::uninstall, false}, {Operation::restore, false},
          {Operation::install, true},  {Operation::uninstall, true},  {Operation::restore, true}};
}

void prepare(InstallSandbox& box, const Scenario& scenario) {
  prepareRealisticHome(box);
  if (scenario.operation == Operation::restore) box.engine()->install(box.targets(), std::nullopt, ignoreProgress);
}

void shapeDisk(PowerCutDisk& disk, const InstallSandbox& box, const Scenario& scenario) {
  if (scenario.backupsElsewhere) disk.setSecondVolume(box.support() / "Backups");
}

namespace {

// The backup folder of the install that a restore scenario restores, and
// whether a restore of it has finished.
std::optional<fs::path> installBackup(const InstallSandbox& box, bool& restored) {
  std::optional<fs::path> found;
  restored = false;
  for (const fs::path& folder : box.backupFolders()) {
    try {
      const InstallReceipt receipt = box.receiptIn(folder);
      if (receipt.deploying.size() == 2) found = folder;
      restored = restored || (!receipt.restoring.empty() && receipt.state == "complete");
    } catch (const std::exception&) {
      // Not a whole receipt: neither.
    }
  }
  return found;
}

// One run of the scenario on the disk model: what it leaves, and how many
// calls it makes.
struct Reference {
  Snapshot finished;
  int calls = 0;
};

Reference run(const Scenario& scenario) {
  InstallSandbox box;
  prepare(box, scenario);
  PowerCutDisk disk(box.root());
  shapeDisk(disk, box, scenario);
  FileManager fm(disk);
  transact(*box.engine(fm), box, scenario);
  return Reference{box.snapshot(), disk.calls()};
}

const Reference& reference(const Scenario& scenario) {
  static std::map<std::pair<Operation, bool>, Reference> runs;
  const std::pair key{scenario.operation, scenario.backupsElsewhere};
  if (!runs.count(key)) runs[key] = run(scenario);
  return runs.at(key);
}

}  // namespace

void transact(InstallEngine& engine, const InstallSandbox& box, const Scenario& scenario) {
  switch (scenario.operation) {
    case Operation::install: engine.install(box.targets(), std::nullopt, ignoreProgress); return;
    case Operation::uninstall: engine.uninstall(box.targets(), ignoreProgress); return;
    case Operation::restore: break;
  }
  bool restored = false;
  const std::optional<fs::path> backup = installBackup(box, restored);
  if (!backup) throw std::runtime_error("no backup of the install to restore");
  if (!restored) engine.restore(*backup, box.targets(), ignoreProgress);
}

const Snapshot& finishedSnapshot(const Scenario& scenario) { return reference(scenario).finished; }

int callsOf(const Scenario& scenario) { return reference(scenario).calls; }

std::string nameOf(const Scenario& scenario) {
  const char* names[] = {"install", "uninstall", "restore"};
  return std::string(names[static_cast<int>(scenario.operation)]) +
         (scenario.backupsElsewhere ? " with the backups on another file system" : "");
}

int runInChild(const std::function<void()>& body) {
  const pid_t child = ::fork();
  if (child < 0) throw std::system_error(errno, std::system_category(), "fork");
  if (child == 0) {
    try {
      body();
    } catch (...) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

namespace {

std::vector<BackupItem> recordedItems(const InstallSandbox& box) {
  std::vector<BackupItem> items;
  for (const fs::path& folder : box.backupFolders()) {
    try {
      const InstallReceipt receipt = box.receiptIn(folder);
      items.insert(items.end(), receipt.backups.begin(), receipt.backups.end());
    } catch (const std::exception&) {
      // No receipt, or not a whole one: it records nothing.
    }
  }
  return items;
}

}  // namespace

void expectNothingLost(const InstallSandbox& box, const Snapshot& before, const std::string& context) {
  const Snapshot now = box.snapshot();
  const std::vector<BackupItem> items = recordedItems(box);
  for (const auto& [relative, value] : before) {
    if (!value.starts_with("file:")) continue;
    const auto found = now.find(relative);
    if (found != now.end() && found->second == value) continue;
    const fs::path path = box.home() / relative;
    bool saved = false;
    for (const BackupItem& item : items) {
      const fs::path rest = path.lexically_relative(item.original);
      if (rest.empty() || rest.native().starts_with("..")) continue;
      // In the backup, or (between file systems) renamed aside beside its place.
      std::vector<fs::path> places = {item.backup};
      if (item.across) places.push_back(item.across->aside);
      for (const fs::path& place : places) {
        const fs::path copy = rest == "." ? place : place / rest;
        saved = saved || (fs::is_regular_file(copy) && "file:" + readFile(copy) == value);
      }
    }
    EXPECT_TRUE(saved) << context << ": lost " << relative;
  }
}

std::vector<std::string> receiptStates(const InstallSandbox& box) {
  std::vector<std::string> states;
  for (const fs::path& folder : box.backupFolders()) {
    try {
      states.push_back(box.receiptIn(folder).state);
    } catch (const std::exception&) {
    }
  }
  return states;
}

void ignoreProgress(const std::string&) {}

}  // namespace nimbra::testing
