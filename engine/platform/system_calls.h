#pragma once

// The calls by which a file system orders and persists what the engine
// changes. Every change FileManager makes goes through one of these, so a test
// can stand between the engine and the disk: count the calls, fail one, or cut
// the power at one and see what the disk would have kept.

#include <sys/types.h>

#include <cstddef>

namespace nimbra {

// renameAt's flag: fail with EEXIST rather than replace what is at the
// target (Linux's RENAME_NOREPLACE, a Mac's RENAME_EXCL). A file system that
// cannot promise it fails with EINVAL on both.
inline constexpr unsigned kRenameNoReplace = 1;

class SystemCalls {
 public:
  // The operating system's own.
  static SystemCalls& real();
  virtual ~SystemCalls() = default;

  // Each behaves as the POSIX call of the same name: the result, or -1 with
  // errno set.
  virtual int openAt(int folder, const char* name, int flags, mode_t mode);  // O_CREAT or O_TRUNC only
  virtual ssize_t write(int fd, const void* bytes, std::size_t length);
  // A file's bytes, or a folder's entries, on the disk itself: on a Mac
  // F_FULLFSYNC, which also empties the drive's cache of everything sent to
  // it from that volume before, since its fsync stops at that cache.
  virtual int fsync(int fd);
  // The same bytes or entries sent to the drive only: a Mac's fsync, lost
  // with the drive's cache at a power cut until the next fsync above on that
  // volume. On Linux, whose fsync waits for the drive, the same as fsync.
  virtual int sendToDrive(int fd);
  virtual int renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
  virtual int mkdirAt(int folder, const char* name, mode_t mode);
  virtual int unlinkAt(int folder, const char* name, int flags);  // AT_REMOVEDIR for a folder
  virtual int symlinkAt(const char* target, int folder, const char* name);
  // In the kernel, at both offsets. A Mac has none: -1 with ENOSYS.
  virtual ssize_t copyFileRange(int from, int to, std::size_t length);
  // A copy of the file from that shares its blocks (APFS's clonefile): no
  // data written, and, like a copy, its bytes and modes without the source's
  // extended attributes. -1 with ENOTSUP where the file system cannot clone
  // (always on Linux), EXDEV across volumes.
  virtual int cloneFileAt(int from, int folder, const char* name);
  // Everything on fd's file system. A Mac has none: -1 with ENOSYS.
  virtual int syncfs(int fd);

  // How many of these calls may run at once: 0 for one per core. A seam that
  // numbers the calls in order takes them one at a time.
  virtual unsigned concurrency() const { return 0; }
};

}  // namespace nimbra
