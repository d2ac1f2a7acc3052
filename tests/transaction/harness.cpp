#include "tests/transaction/harness.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <regex>

#include "engine/platform/file_manager.h"
#include "engine/rhino_conventions.h"
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

// Every whole receipt in the Backups folder, by its folder; one cut short
// records nothing.
std::vector<std::pair<fs::path, InstallReceipt>> wholeReceipts(const InstallSandbox& box) {
  std::vector<std::pair<fs::path, InstallReceipt>> receipts;
  for (const fs::path& folder : box.backupFolders()) {
    try {
      receipts.emplace_back(folder, box.receiptIn(folder));
    } catch (const std::exception&) {
    }
  }
  return receipts;
}

// The backup folder of the install that a restore scenario restores, and
// whether a restore of it has finished.
std::optional<fs::path> installBackup(const InstallSandbox& box, bool& restored) {
  std::optional<fs::path> found;
  restored = false;
  for (const auto& [folder, receipt] : wholeReceipts(box)) {
    if (receipt.deploying.size() == 2) found = folder;
    restored = restored || (!receipt.restoring.empty() && receipt.state == "complete");
  }
  return found;
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

const Snapshot& finishedSnapshot(const Scenario& scenario) {
  static std::map<std::pair<Operation, bool>, Snapshot> runs;
  const std::pair key{scenario.operation, scenario.backupsElsewhere};
  if (runs.count(key) == 0) {  // one run of it on the disk model
    InstallSandbox box;
    prepare(box, scenario);
    PowerCutDisk disk(box.root());
    shapeDisk(disk, box, scenario);
    FileManager fm(disk);
    transact(*box.engine(fm), box, scenario);
    runs[key] = box.snapshot();
  }
  return runs.at(key);
}

namespace {

// Replaces what follows each marker in text (a UUID, a temporary file's
// number) with the order in which it first appears.
void renumber(std::string& text, std::string_view marker, std::size_t length, std::map<std::string, int>& numbers) {
  for (std::size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at + 1)) {
    const std::size_t from = at + marker.size();
    const std::size_t end = length != 0 ? from + length : text.find_first_not_of("0123456789", from);
    const std::string drawn = text.substr(from, end - from);
    const auto [number, added] = numbers.try_emplace(drawn, static_cast<int>(numbers.size()));
    text.replace(from, drawn.size(), std::to_string(number->second));
  }
}

}  // namespace

std::size_t digestOf(const PowerCutDisk::Image& image, const InstallSandbox& box) {
  const std::string logs = (box.support() / "Logs").lexically_relative(box.root()).string();
  std::map<std::string, int> numbers;
  std::string text;
  for (const auto& [path, entry] : image) {
    if (path.native().starts_with(logs)) continue;
    std::string line = path.string() + '\0' + std::to_string(static_cast<int>(entry.type)) + entry.data + '\0';
    renumber(line, rhino::kStagingPrefix, 36, numbers);
    renumber(line, ".tmp-", 0, numbers);
    text += line;
  }
  return std::hash<std::string>{}(text);
}

PowerCutDisk::Image imageOf(const InstallSandbox& box) { return *PowerCutDisk(box.root()).cut(0); }

std::string nameOf(const Scenario& scenario) {
  const char* names[] = {"install", "uninstall", "restore"};
  return std::string(names[static_cast<int>(scenario.operation)]) +
         (scenario.backupsElsewhere ? " with the backups on another file system" : "");
}

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << nameOf(scenario); }

std::string tagOf(const Scenario& scenario) {
  const char* tags[] = {"Install", "Uninstall", "Restore"};
  return std::string(tags[static_cast<int>(scenario.operation)]) + (scenario.backupsElsewhere ? "AcrossFileSystems" : "");
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
  const Snapshot now = box.snapshot();
  std::vector<BackupItem> items;
  for (const auto& [folder, receipt] : wholeReceipts(box)) items.insert(items.end(), receipt.backups.begin(), receipt.backups.end());
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
  for (const auto& [folder, receipt] : wholeReceipts(box)) states.push_back(receipt.state);
  return states;
}

void ignoreProgress(const ProgressStep&) {}

}  // namespace nimbra::testing

namespace nimbra::testing {

namespace {

std::uint64_t seedOfTheRun() {
  static const std::uint64_t seed = [] {
    const char* given = std::getenv("NIMBRA_SEED");
    return given != nullptr ? std::strtoull(given, nullptr, 10) : std::random_device{}();
  }();
  return seed;
}

}  // namespace

Sweep::Sweep(const std::string& harness, double share)
    : share_(share), random_(seedOfTheRun() ^ std::hash<std::string>{}(harness)) {
  const char* sweep = std::getenv("NIMBRA_SWEEP");
  full_ = sweep != nullptr && std::string(sweep) == "full";
  std::cout << "[ sweep   ] " << harness << ": "
            << (full_ ? "every call point" : "seed " + std::to_string(seedOfTheRun()) + " (NIMBRA_SEED replays it)")
            << "\n";
}

std::vector<bool> Sweep::choose(const std::vector<std::string>& kinds) {
  std::vector<bool> chosen(kinds.size(), full_);
  if (full_) return chosen;
  std::map<std::string, std::vector<std::size_t>> untried;
  for (std::size_t i = 0; i < kinds.size(); ++i) {
    if (!tried_.count(kinds[i])) untried[kinds[i]].push_back(i);
    chosen[i] = std::bernoulli_distribution(share_)(random_);
  }
  for (const auto& [kind, points] : untried) {
    chosen[points[std::uniform_int_distribution<std::size_t>(0, points.size() - 1)(random_)]] = true;
    tried_.insert(kind);
  }
  return chosen;
}

std::string kindOf(const std::string& call, const fs::path& root) {
  static const std::pair<std::regex, const char*> kGeneric[] = {
      {std::regex("\\.tmp-[0-9]+$"), ".tmp-*"},
      {std::regex("(/\\.nimbra-install-)[0-9A-F-]{36}(/.*)?$"), "$1*"},
      {std::regex("(/Backups/)[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}-[0-9]{2}-[0-9]{2}Z-[0-9A-F]{8}(/([0-9]+-)?([^/]*)(/.*)?)?$"),
       "$1*/$4"},
  };
  // "<verb> <path>", "copy -> <path>" or "rename <path> -> <path>".
  std::size_t at = call.find(' ');
  if (at == std::string::npos) return call;
  std::string kind = call.substr(0, at);
  if (call.compare(at, 4, " -> ") == 0) at += 3;
  while (at != std::string::npos) {
    const std::size_t next = call.find(" -> ", at + 1);
    std::string path = call.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
    if (path.starts_with(root.string())) path.erase(0, root.string().size());
    for (const auto& [pattern, replacement] : kGeneric) path = std::regex_replace(path, pattern, replacement);
    kind += " " + path;
    at = next == std::string::npos ? next : next + 3;
  }
  return kind;
}

}  // namespace nimbra::testing
