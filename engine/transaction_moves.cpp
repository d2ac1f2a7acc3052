// The transaction's moves of earlier copies: into its backup folder, and
// back from an earlier one for a restore. Each is recorded before it happens;
// one rename where it can, else the steps of a move between file systems.

#include "engine/cross_volume_move.h"
#include "engine/install_transaction.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

void InstallTransaction::putBack(const BackupItem& item) {
  receipt_.restoring.push_back({item.backup, item.original});
  write();
  rejectLinks(fm_, item.original);
  if (!movedInOneStep(item.backup, item.original)) {
    RestoredItem& entry = receipt_.restoring.back();
    entry.across = CrossVolumeMove::beginReturn(item.original);
    write();
    crossing(item.original, item.backup, *entry.across).toPlace();
  }
  engine_.log().write("Restored " + item.backup + " to " + item.original);
}

void InstallTransaction::keep(const fs::path& item) {
  const fs::path backup = backupFolder_ / backupItemName(receipt_.backups.size(), item);
  receipt_.backups.push_back({pathText(item), pathText(backup)});
  write();
  // Checked again right before the move: a folder swapped for a link since
  // the scan must not carry someone else's files into the backup.
  rejectLinks(fm_, item);
  if (!movedInOneStep(item, backup)) {
    BackupItem& entry = receipt_.backups.back();
    entry.across = CrossVolumeMove::begin(item);
    write();
    crossing(item, backup, *entry.across).toBackup();
  }
  engine_.log().write("Moved " + pathText(item) + " to " + pathText(backup));
}

bool InstallTransaction::movedInOneStep(const fs::path& from, const fs::path& to) {
  try {
    fm_.moveItem(from, to);
    return true;
  } catch (const fs::filesystem_error& error) {
    if (error.code() != std::errc::cross_device_link) throw;
    return false;
  }
}

CrossVolumeMove InstallTransaction::crossing(const fs::path& place, const fs::path& backup, CrossMove& move) {
  return CrossVolumeMove(fm_, engine_.log(), place, backup, move, [this] { write(); });
}

}  // namespace nimbra
