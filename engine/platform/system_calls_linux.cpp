// Linux's half of the system-call seam.

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "engine/platform/system_calls.h"

namespace nimbra {

int SystemCalls::fsync(int fd) { return ::fsync(fd); }

// Linux's fsync waits for the drive's own cache too.
int SystemCalls::sendToDrive(int fd) { return ::fsync(fd); }

int SystemCalls::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  static_assert(kRenameNoReplace == RENAME_NOREPLACE);
  return ::renameat2(fromFolder, from, toFolder, to, flags);
}

ssize_t SystemCalls::copyFileRange(int from, int to, std::size_t length) {
  return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
}

int SystemCalls::cloneFileAt(int, int, const char*) {
  errno = ENOTSUP;
  return -1;
}

int SystemCalls::syncfs(int fd) { return ::syncfs(fd); }

}  // namespace nimbra
