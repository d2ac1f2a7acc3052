// A Mac's half of the system-call seam.

#include <fcntl.h>
#include <stdio.h>
#include <sys/clonefile.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "engine/platform/system_calls.h"
#include "engine/platform/unique_fd.h"

// libSystem's, from <sys/xattr.h>, which the headers the Mac's build is
// compiled against (zig's) do not carry.
extern "C" {
ssize_t flistxattr(int fd, char* names, std::size_t size, int options);
int fremovexattr(int fd, const char* name, int options);
}

namespace nimbra {

int SystemCalls::fsync(int fd) {
  // A file system that cannot flush the drive (some network ones) still
  // gets the ordinary fsync.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return 0;
  return ::fsync(fd);
}

int SystemCalls::sendToDrive(int fd) { return ::fsync(fd); }

int SystemCalls::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  const int result =
      ::renameatx_np(fromFolder, from, toFolder, to, (flags & kRenameNoReplace) != 0 ? RENAME_EXCL : 0);
  // RENAME_EXCL on a file system without it reports ENOTSUP; the caller
  // knows that case as EINVAL.
  if (result != 0 && errno == ENOTSUP) errno = EINVAL;
  return result;
}

ssize_t SystemCalls::copyFileRange(int, int, std::size_t) {
  errno = ENOSYS;
  return -1;
}

namespace {

// A clone carries the source's extended attributes, com.apple.quarantine
// among them; a copy made by the installer carries bytes and modes only.
// What the system protects cannot be removed, and is left.
void dropExtendedAttributes(int fd) {
  const ssize_t size = ::flistxattr(fd, nullptr, 0, 0);
  if (size <= 0) return;
  std::vector<char> names(static_cast<std::size_t>(size));
  const ssize_t got = ::flistxattr(fd, names.data(), names.size(), 0);
  for (ssize_t at = 0; at < got; at += static_cast<ssize_t>(std::strlen(names.data() + at)) + 1) {
    ::fremovexattr(fd, names.data() + at, 0);
  }
}

}  // namespace

int SystemCalls::cloneFileAt(int from, int folder, const char* name) {
  if (::fclonefileat(from, folder, name, CLONE_NOFOLLOW | CLONE_NOOWNERCOPY) != 0) return -1;
  const UniqueFd clone(::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (clone.valid()) dropExtendedAttributes(clone.get());
  return 0;
}

int SystemCalls::syncfs(int) {
  errno = ENOSYS;
  return -1;
}

}  // namespace nimbra
