#pragma once

#include <filesystem>

#include "engine/platform/unique_fd.h"

namespace nimbra {

// An exclusive, non-blocking flock on a lock file. The file is opened
// close-on-exec, so no child process ever holds the lock, and never through a
// symbolic link. The lock is released and the file closed on destruction, or
// by the system when the process ends.
class FileLock {
 public:
  enum class Outcome { locked, cannotOpen, heldElsewhere };

  // Opens (creating it with mode 0600 if missing) and tries to lock path.
  explicit FileLock(const std::filesystem::path& path);
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  Outcome outcome() const { return outcome_; }

 private:
  UniqueFd fd_;
  Outcome outcome_ = Outcome::cannotOpen;
};

}  // namespace nimbra
