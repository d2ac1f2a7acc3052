#pragma once

// The backup folders in <support>/Backups: which one a restore may take,
// their order, and pruning them. The moves of a restore are the install
// transaction's (a restore is one), and so are its roll-back and recovery.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/install_receipt.h"
#include "engine/progress.h"
#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

class Backups {
 public:
  explicit Backups(const InstallEngine& engine) : engine_(engine) {}

  // The receipt of a folder directly in Backups, read but not checked; throws
  // InstallError "There is no backup of Nimbra to restore at <folder>."
  InstallReceipt backupReceipt(const std::filesystem::path& backupFolder) const;

  // The receipt of a backup folder that restore would accept, read and
  // checked; changes nothing. Throws restore's refusals.
  InstallReceipt restorableReceipt(const std::filesystem::path& backupFolder,
                                   const std::vector<RhinoTarget>& targets) const;

  // What --restore takes when no folder is named: the newest backup folder
  // whose receipt says "complete" and that either holds an earlier copy or
  // was made by a restore (whose own restore would only undo it); nothing
  // when there is none. A fresh install's, which holds nothing, is passed by.
  std::optional<std::filesystem::path> newestToRestore() const;

  // The backup folders (not hidden, with a receipt) from the oldest to the
  // newest: by the time their names begin with, then, within one second, by
  // when their receipt was last written.
  std::vector<std::filesystem::path> backupFoldersByAge() const;

  // Removes, under the install lock, the oldest backup folders whose receipt
  // says "complete" or "restored", beyond the newest keep of them, one step
  // each; never one that recovery may need ("installing",
  // "recovery-required", "preparing") or whose receipt cannot be read. Each
  // folder is set aside in one step before it is removed, and logged.
  // Returns the folders removed. Throws InstallLock's errors, or the
  // platform's.
  std::vector<std::filesystem::path> pruneBackups(std::size_t keep, const Progress& progress) const;

  // "This backup has been restored already: <folder>"
  static std::string restoredAlready(const std::filesystem::path& backupFolder);

 private:
  const InstallEngine& engine_;
};

}  // namespace nimbra
