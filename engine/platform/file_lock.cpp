#include "engine/platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace nimbra {

FileLock::FileLock(const std::filesystem::path& path) {
  int fd = -1;
  do {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return;
  fd_.reset(fd);
  int result = -1;
  do {
    result = ::flock(fd_.get(), LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  outcome_ = result == 0 ? Outcome::locked : Outcome::heldElsewhere;
}

FileLock::~FileLock() {
  // Released before the descriptor closes, as the last thing an install does.
  if (fd_.valid()) ::flock(fd_.get(), LOCK_UN);
}

}  // namespace nimbra
