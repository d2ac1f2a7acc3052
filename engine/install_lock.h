#pragma once

// One installation at a time for a person: the lock file in their support
// folder, held by every operation that changes what is installed or backed up.

#include <filesystem>

#include "engine/platform/file_lock.h"

namespace nimbra {

class FileManager;

class InstallLock {
 public:
  // Takes the lock on <support>/install.lock. Throws InstallError
  // "Another Nimbra installation is already running." (kind
  // anotherInstallation) when another process holds it, or "The installation
  // folder cannot be opened: <support>" when it cannot be opened.
  explicit InstallLock(const std::filesystem::path& support);

  // Whether another process holds it now: a probe, released at once, that
  // creates nothing. Never throws.
  static bool heldElsewhere(const FileManager& fm, const std::filesystem::path& support);

 private:
  FileLock lock_;
};

}  // namespace nimbra
