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

namespace {

// One install or uninstall of the realistic home, on the disk model: what it
// leaves, and how many calls it makes.
struct Reference {
  Snapshot finished;
  int calls = 0;
};

Reference run(Operation operation) {
  InstallSandbox box;
  prepareRealisticHome(box);
  PowerCutDisk disk(box.root());
  FileManager fm(disk);
  transact(*box.engine(fm), box, operation);
  return Reference{box.snapshot(), disk.calls()};
}

const Reference& reference(Operation operation) {
  static const Reference install = run(Operation::install);
  static const Reference uninstall = run(Operation::uninstall);
  return operation == Operation::install ? install : uninstall;
}

}  // namespace

void transact(InstallEngine& engine, const InstallSandbox& box, Operation operation) {
  if (operation == Operation::install) engine.install(box.targets(), std::nullopt, ignoreProgress);
  else engine.uninstall(box.targets(), ignoreProgress);
}

const Snapshot& finishedSnapshot(Operation operation) { return reference(operation).finished; }

int callsOf(Operation operation) { return reference(operation).calls; }

std::string nameOf(Operation operation) { return operation == Operation::install ? "install" : "uninstall"; }

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
      const fs::path backup = rest == "." ? fs::path(item.backup) : fs::path(item.backup) / rest;
      saved = saved || (fs::is_regular_file(backup) && "file:" + readFile(backup) == value);
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
