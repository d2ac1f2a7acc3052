#pragma once

#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cross_volume_move.h"
#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/progress.h"

namespace nimbra {

// The working values of one install (or uninstall) between the lock and its
// end: the backup folder and receipt, the staged and deployed folders, and
// the legacy items. Runs staging, commit and roll-back; the caller holds the
// install lock.
class InstallTransaction {
 public:
  InstallTransaction(const InstallEngine& engine, Operation operation, const std::vector<RhinoTarget>& targets,
                     std::filesystem::path backupFolder, std::vector<std::filesystem::path> legacyItems,
                     StepCounter& steps, bool cleanUpCounted);

  // Whether staging folders interrupted installs left stand in the targets'
  // package roots now: then a clean-up is the first step.
  static bool hasLeftovers(const InstallEngine& engine, const std::vector<RhinoTarget>& targets);
  // How many steps run takes for operation on count targets: the clean-up
  // when counted; for an install, a check of each target, the backup and a
  // deploy of each; for an uninstall, the backup and a removal of each; for
  // a restore, the backup and the restore.
  static std::size_t steps(Operation operation, std::size_t count, bool cleanUp);

  // For a restore: the earlier backup folder whose items go back, checked
  // now. Throws restore's refusals.
  void restoreFrom(const std::filesystem::path& folder);

  // Stages every target, then commits. On any failure rolls back and throws
  // the failure, or InstallError when the roll-back itself met problems.
  void run();

 private:
  // The staging folders interrupted installs left in the targets' package
  // roots (a root reached through a link is left to staging, which refuses it).
  static std::vector<std::filesystem::path> leftovers(const InstallEngine& engine,
                                                      const std::vector<RhinoTarget>& targets);
  void removeLeftovers();
  void stage(const RhinoTarget& target);
  void syncStaged();
  void checkExistingDestination(const RhinoTarget& target, const std::filesystem::path& destination);
  void checkRecognised(const std::filesystem::path& destination);
  void commit();
  void commitRestore();
  void putBack(const BackupItem& item);
  void deploy(std::size_t index);
  void keep(const std::filesystem::path& item);
  // Renames from to to; false, changing nothing, when they lie on different
  // file systems.
  bool movedInOneStep(const std::filesystem::path& from, const std::filesystem::path& to);
  // A move between file systems recorded in this receipt.
  CrossVolumeMove crossing(const std::filesystem::path& place, const std::filesystem::path& backup, CrossMove& move);
  void write();
  [[noreturn]] void rollBack(std::exception_ptr failure);
  void removeStaged();

  const InstallEngine& engine_;
  Operation operation_;
  FileManager& fm_;
  const std::vector<RhinoTarget>& targets_;
  StepCounter& steps_;
  bool cleanUpCounted_;
  std::filesystem::path backupFolder_;
  std::vector<std::filesystem::path> legacyItems_;
  InstallReceipt receipt_;
  std::vector<std::filesystem::path> staged_;
  std::vector<std::filesystem::path> deployed_;
  std::filesystem::path restoreFolder_;
  InstallReceipt restored_;  // the earlier backup's receipt, for a restore
};

}  // namespace nimbra
