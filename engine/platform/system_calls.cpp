#include "engine/platform/system_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#if defined(__APPLE__)
#include <sys/clonefile.h>
#endif

namespace nimbra {

SystemCalls& SystemCalls::real() {
  static SystemCalls instance;
  return instance;
}

int SystemCalls::openAt(int folder, const char* name, int flags, mode_t mode) {
  return ::openat(folder, name, flags, mode);
}

ssize_t SystemCalls::write(int fd, const void* bytes, std::size_t length) { return ::write(fd, bytes, length); }

#if defined(__APPLE__)
int SystemCalls::fsync(int fd) {
  // A file system that cannot flush the drive (some network ones) still
  // gets the ordinary fsync.
  if (::fcntl(fd, F_FULLFSYNC) == 0) return 0;
  return ::fsync(fd);
}

int SystemCalls::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  const int result =
      ::renameatx_np(fromFolder, from, toFolder, to, (flags & kRenameNoReplace) != 0 ? RENAME_EXCL : 0);
  // RENAME_EXCL on a file system without it reports ENOTSUP; the caller
  // knows that case as EINVAL.
  if (result != 0 && errno == ENOTSUP) errno = EINVAL;
  return result;
}
#else
int SystemCalls::fsync(int fd) { return ::fsync(fd); }

int SystemCalls::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  static_assert(kRenameNoReplace == RENAME_NOREPLACE);
  return ::renameat2(fromFolder, from, toFolder, to, flags);
}
#endif

int SystemCalls::mkdirAt(int folder, const char* name, mode_t mode) { return ::mkdirat(folder, name, mode); }

int SystemCalls::unlinkAt(int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); }

int SystemCalls::symlinkAt(const char* target, int folder, const char* name) {
  return ::symlinkat(target, folder, name);
}

#if defined(__APPLE__)
ssize_t SystemCalls::copyFileRange(int, int, std::size_t) {
  errno = ENOSYS;
  return -1;
}

int SystemCalls::cloneFileAt(int from, int folder, const char* name) { return ::fclonefileat(from, folder, name, 0); }

int SystemCalls::syncfs(int) {
  errno = ENOSYS;
  return -1;
}
#else
ssize_t SystemCalls::copyFileRange(int from, int to, std::size_t length) {
  return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
}

int SystemCalls::cloneFileAt(int, int, const char*) {
  errno = ENOTSUP;
  return -1;
}

int SystemCalls::syncfs(int fd) { return ::syncfs(fd); }
#endif

}  // namespace nimbra
