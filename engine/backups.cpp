#include "engine/backups.h"

#include <algorithm>

#include "engine/install_engine.h"
#include "engine/install_lock.h"
#include "engine/link_guard.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/receipt_places.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// Only what a finished install or a finished undoing left: never a receipt
// recovery may still need, nor one that cannot be read.
bool isFinished(const FileManager& fm, const fs::path& folder) {
  try {
    const InstallReceipt receipt = decodeReceipt(fm.readWholeFile(folder / kReceiptName));
    return receipt.state == receipt_state::kComplete || receipt.state == receipt_state::kRestored;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

InstallReceipt Backups::backupReceipt(const fs::path& backupFolder) const {
  const FileManager& fm = engine_.fileManager();
  const fs::path folder = location(backupFolder);
  const fs::path backups = engine_.support() / kBackupsFolder;
  const InstallError notOne("There is no backup of Nimbra to restore at " + pathText(folder) + ".");
  if (folder.parent_path() != location(backups) || !fm.isDirectory(folder)) throw notOne;
  rejectLinks(fm, folder);
  try {
    return decodeReceipt(fm.readWholeFile(folder / kReceiptName));
  } catch (const std::exception&) {
    throw notOne;
  }
}

InstallReceipt Backups::restorableReceipt(const fs::path& backupFolder, const std::vector<RhinoTarget>& targets) const {
  const FileManager& fm = engine_.fileManager();
  const fs::path folder = location(backupFolder);
  const InstallReceipt receipt = backupReceipt(folder);
  if (receipt.state == receipt_state::kRestored) throw InstallError(restoredAlready(folder));
  if (receipt.state != receipt_state::kComplete) {
    throw InstallError("This backup cannot be restored, because the installation that made it did not finish: " +
                       pathText(folder));
  }
  checkPlaces(engine_, folder, receipt, targets);
  for (const BackupItem& item : receipt.backups) {
    if (!fm.fileExists(item.backup)) {
      throw InstallError("This backup no longer holds " + fs::path(item.backup).filename().string() +
                         ", so it cannot be restored: " + pathText(folder));
    }
    rejectLinks(fm, item.backup);
    rejectLinks(fm, item.original);
  }
  return receipt;
}

std::string Backups::restoredAlready(const fs::path& backupFolder) {
  return "This backup has been restored already: " + pathText(backupFolder);
}

std::vector<fs::path> Backups::backupFoldersByAge() const {
  const FileManager& fm = engine_.fileManager();
  const fs::path backups = engine_.support() / kBackupsFolder;
  if (!fm.isDirectory(backups)) return {};
  struct Aged {
    std::string time;  // the name's leading "2025-03-07T14-05-09Z"
    fs::file_time_type written;
    fs::path folder;
  };
  std::vector<Aged> aged;
  for (const std::string& name : fm.contentsOfDirectory(backups)) {
    const fs::path folder = backups / name;
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(folder / kReceiptName, error);
    if (isHiddenName(name) || error || fm.isSymbolicLink(folder)) continue;
    aged.push_back({name.substr(0, 20), written, folder});
  }
  std::sort(aged.begin(), aged.end(), [](const Aged& a, const Aged& b) {
    return a.time != b.time ? a.time < b.time : a.written < b.written;
  });
  std::vector<fs::path> folders;
  for (Aged& entry : aged) folders.push_back(std::move(entry.folder));
  return folders;
}

std::optional<fs::path> Backups::newestToRestore() const {
  const FileManager& fm = engine_.fileManager();
  const std::vector<fs::path> folders = backupFoldersByAge();
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    try {
      const InstallReceipt receipt = decodeReceipt(fm.readWholeFile(*folder / kReceiptName));
      if (receipt.state != receipt_state::kComplete) continue;
      if (!receipt.backups.empty() || !receipt.restoring.empty()) return *folder;
    } catch (const std::exception&) {
      // A record that cannot be read: not one to restore.
    }
  }
  return std::nullopt;
}

std::vector<fs::path> Backups::pruneBackups(std::size_t keep, const Progress& progress) const {
  FileManager& fm = engine_.fileManager();
  const fs::path backups = engine_.support() / kBackupsFolder;
  if (!fm.fileExists(backups)) return {};
  rejectLinks(fm, backups);
  const InstallLock lock(engine_.support());
  std::vector<fs::path> finished;
  for (const fs::path& folder : backupFoldersByAge()) {
    if (fm.isDirectory(folder) && isFinished(fm, folder)) finished.push_back(folder);
  }
  std::vector<fs::path> removed;
  StepCounter steps(progress, finished.size() > keep ? finished.size() - keep : 0);
  for (std::size_t i = 0; i + keep < finished.size(); ++i) {
    steps.begin("Removing the backup folder " + pathText(finished[i]) + "…");
    // Set aside in one step first: a cut leaves a hidden folder, never half a backup.
    setAsideAndRemove(fm, finished[i]);
    engine_.log().write("Removed the backup folder " + pathText(finished[i]));
    removed.push_back(finished[i]);
  }
  // What an earlier removal cut short left behind.
  for (const fs::path& leftover : stagingFoldersIn(fm, backups)) fm.removeItem(leftover);
  return removed;
}

}  // namespace nimbra
