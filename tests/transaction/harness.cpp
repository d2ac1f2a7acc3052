#include "tests/transaction/harness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

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
}

const Snapshot& installedSnapshot() {
  static const Snapshot snapshot = [] {
    InstallSandbox box;
    prepareRealisticHome(box);
    box.engine()->install(box.targets(), std::nullopt, ignoreProgress);
    return box.snapshot();
  }();
  return snapshot;
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

void expectNothingLost(const InstallSandbox& box, const Snapshot& before, const std::string& context) {
  std::multiset<std::string> saved;
  const fs::path backups = box.support() / "Backups";
  if (fs::exists(backups)) {
    for (const auto& entry : fs::recursive_directory_iterator(backups)) {
      if (entry.is_regular_file() && entry.path().filename() != "receipt.json") {
        saved.insert("file:" + readFile(entry.path()));
      }
    }
  }
  const Snapshot now = box.snapshot();
  for (const auto& [path, value] : before) {
    if (!value.starts_with("file:")) continue;
    const auto found = now.find(path);
    const bool inPlace = found != now.end() && found->second == value;
    EXPECT_TRUE(inPlace || saved.count(value)) << context << ": lost " << path;
  }
}

std::vector<std::string> receiptStates(const InstallSandbox& box) {
  std::vector<std::string> states;
  for (const fs::path& folder : box.backupFolders()) {
    if (fs::exists(folder / "receipt.json")) states.push_back(box.receiptIn(folder).state);
  }
  return states;
}

void ignoreProgress(const std::string&) {}

}  // namespace nimbra::testing
