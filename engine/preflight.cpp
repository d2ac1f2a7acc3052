#include "engine/preflight.h"

#include "engine/backups.h"
#include "engine/free_space.h"
#include "engine/install_engine.h"
#include "engine/install_lock.h"
#include "engine/install_receipt.h"
#include "engine/installed_copy.h"
#include "engine/locations.h"
#include "engine/platform/unicode.h"
#include "engine/recovery.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

void Preflight::check(Operation operation, const std::vector<RhinoTarget>& targets,
                      const std::optional<fs::path>& restoreFrom) const {
  if (InstallLock::heldElsewhere(engine_.fileManager(), engine_.support())) {
    throw InstallError(std::string(kAnotherInstallationRunning), ErrorKind::anotherInstallation);
  }
  Recovery(engine_).checkRecoverable(targets);
  if (operation == Operation::restore && restoreFrom) Backups(engine_).restorableReceipt(*restoreFrom, targets);
  checkChangeable(operation, targets);
  if (operation != Operation::install) return;
  checkNoNewerVersion(targets);
  requireFreeSpace(engine_.fileManager(), engine_.release(), targets);
}

void Preflight::checkChangeable(Operation operation, const std::vector<RhinoTarget>& targets) const {
  const FileManager& fm = engine_.fileManager();
  if (!isValidUTF8(engine_.home().string())) throw InstallError(std::string(kFolderNameNotUTF8));
  for (const RhinoTarget& target : targets) {
    if (!isValidUTF8(target.packageRoot.string())) throw InstallError(std::string(kFolderNameNotUTF8));
    if (const int refusal = fm.changeRefusal(target.packageRoot); refusal != 0) {
      // As the first change there would fail: staging beside the copy, or
      // taking the copy away.
      if (operation == Operation::uninstall) throwFileError("remove", target.destination(), refusal);
      throwFileError("mkdir", newStagingFolder(target.packageRoot), refusal);
    }
  }
  const fs::path backups = engine_.support() / kBackupsFolder;
  if (const int refusal = fm.changeRefusal(backups); refusal != 0) throwFileError("mkdir", backups, refusal);
}

void Preflight::checkNoNewerVersion(const std::vector<RhinoTarget>& targets) const {
  const InstalledCopies copies(engine_);
  for (const RhinoTarget& target : targets) {
    // The version folders alone decide: no need to verify every file here.
    const fs::path destination = target.destination();
    if (engine_.fileManager().isDirectory(destination) && copies.newerVersionIn(destination)) {
      throw InstallError(InstalledCopies::newerVersionInstalled(target.major));
    }
  }
}

}  // namespace nimbra
