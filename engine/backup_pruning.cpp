// Backups that do not grow for ever: the oldest finished backup folders go,
// beyond the newest few, on request.

#include <algorithm>

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_lock.h"
#include "engine/platform/file_manager.h"
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

std::vector<fs::path> InstallEngine::pruneBackups(std::size_t keep, const Progress& progress) const {
  const fs::path backups = support() / kBackupsFolder;
  if (!fm_.fileExists(backups)) return {};
  rejectLinks(backups);
  const FileLock lock(support() / kLockFile);
  requireLock(lock);
  std::vector<fs::path> finished;
  for (const fs::path& folder : backupFoldersByAge()) {
    if (fm_.isDirectory(folder) && isFinished(fm_, folder)) finished.push_back(folder);
  }
  std::vector<fs::path> removed;
  for (std::size_t i = 0; i + keep < finished.size(); ++i) {
    progress("Removing the backup folder " + pathText(finished[i]) + "…");
    // Set aside in one step first: a cut leaves a hidden folder, never half a backup.
    setAsideAndRemove(fm_, finished[i]);
    log_.write("Removed the backup folder " + pathText(finished[i]));
    removed.push_back(finished[i]);
  }
  // What an earlier removal cut short left behind.
  for (const fs::path& leftover : stagingFoldersIn(fm_, backups)) fm_.removeItem(leftover);
  return removed;
}

}  // namespace nimbra
