// Which backup folders can be restored. The moves themselves are the install
// transaction's (a restore is one), and so are their roll-back and recovery.

#include <algorithm>

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

InstallReceipt InstallEngine::backupReceipt(const fs::path& backupFolder) const {
  const fs::path folder = location(backupFolder);
  const fs::path backups = support() / kBackupsFolder;
  const InstallError notOne("There is no backup of Nimbra to restore at " + pathText(folder) + ".");
  if (folder.parent_path() != location(backups) || !fm_.isDirectory(folder)) throw notOne;
  rejectLinks(folder);
  try {
    return decodeReceipt(fm_.readWholeFile(folder / kReceiptName));
  } catch (const std::exception&) {
    throw notOne;
  }
}

InstallReceipt InstallEngine::restorableReceipt(const fs::path& backupFolder,
                                                const std::vector<RhinoTarget>& targets) const {
  const fs::path folder = location(backupFolder);
  const InstallReceipt receipt = backupReceipt(folder);
  if (receipt.state == receipt_state::kRestored) throw InstallError(restoredAlready(folder));
  if (receipt.state != receipt_state::kComplete) {
    throw InstallError("This backup cannot be restored, because the installation that made it did not finish: " +
                       pathText(folder));
  }
  checkPlaces(folder, receipt, targets);
  for (const BackupItem& item : receipt.backups) {
    if (!fm_.fileExists(item.backup)) {
      throw InstallError("This backup no longer holds " + fs::path(item.backup).filename().string() +
                         ", so it cannot be restored: " + pathText(folder));
    }
    rejectLinks(item.backup);
    rejectLinks(item.original);
  }
  return receipt;
}

std::string InstallEngine::restoredAlready(const fs::path& backupFolder) {
  return "This backup has been restored already: " + pathText(backupFolder);
}

std::vector<fs::path> InstallEngine::backupFoldersByAge() const {
  const fs::path backups = support() / kBackupsFolder;
  if (!fm_.isDirectory(backups)) return {};
  struct Aged {
    std::string time;  // the name's leading "2025-03-07T14-05-09Z"
    fs::file_time_type written;
    fs::path folder;
  };
  std::vector<Aged> aged;
  for (const std::string& name : fm_.contentsOfDirectory(backups)) {
    const fs::path folder = backups / name;
    std::error_code error;
    const fs::file_time_type written = fs::last_write_time(folder / kReceiptName, error);
    if (isHiddenName(name) || error || fm_.isSymbolicLink(folder)) continue;
    aged.push_back({name.substr(0, 20), written, folder});
  }
  std::sort(aged.begin(), aged.end(), [](const Aged& a, const Aged& b) {
    return a.time != b.time ? a.time < b.time : a.written < b.written;
  });
  std::vector<fs::path> folders;
  for (Aged& entry : aged) folders.push_back(std::move(entry.folder));
  return folders;
}

std::optional<fs::path> InstallEngine::newestCompleteBackup() const {
  const std::vector<fs::path> folders = backupFoldersByAge();
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    try {
      const InstallReceipt receipt = decodeReceipt(fm_.readWholeFile(*folder / kReceiptName));
      if (receipt.state == receipt_state::kComplete && !receipt.backups.empty()) return *folder;
    } catch (const std::exception&) {
      // A record that cannot be read: not one to restore.
    }
  }
  return std::nullopt;
}

}  // namespace nimbra
