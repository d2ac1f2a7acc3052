#include "engine/install_lock.h"

#include "engine/install_error.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

InstallLock::InstallLock(const std::filesystem::path& support) : lock_(support / kLockFile) {
  if (lock_.outcome() == FileLock::Outcome::cannotOpen) {
    throw InstallError("The installation folder cannot be opened: " + pathText(support));
  }
  if (lock_.outcome() == FileLock::Outcome::heldElsewhere) {
    throw InstallError(std::string(kAnotherInstallationRunning), ErrorKind::anotherInstallation);
  }
}

bool InstallLock::heldElsewhere(const FileManager& fm, const std::filesystem::path& support) {
  const std::filesystem::path file = support / kLockFile;
  if (!fm.fileExists(file)) return false;
  return FileLock(file).outcome() == FileLock::Outcome::heldElsewhere;
}

}  // namespace nimbra
