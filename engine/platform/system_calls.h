#pragma once

// The calls by which a file system orders and persists what the engine
// changes. Every change FileManager makes goes through one of these, so a test
// can stand between the engine and the disk: count the calls, fail one, or cut
// the power at one and see what the disk would have kept.

#include <sys/types.h>

#include <cstddef>

namespace nimbra {

class SystemCalls {
 public:
  // The operating system's own.
  static SystemCalls& real();
  virtual ~SystemCalls() = default;

  // Each behaves as the POSIX call of the same name: the result, or -1 with
  // errno set.
  virtual int openAt(int folder, const char* name, int flags, mode_t mode);  // O_CREAT or O_TRUNC only
  virtual ssize_t write(int fd, const void* bytes, std::size_t length);
  virtual int fsync(int fd);  // a file's bytes, or a folder's entries
  virtual int renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags);
  virtual int mkdirAt(int folder, const char* name, mode_t mode);
  virtual int unlinkAt(int folder, const char* name, int flags);  // AT_REMOVEDIR for a folder
  virtual int symlinkAt(const char* target, int folder, const char* name);
  virtual ssize_t copyFileRange(int from, int to, std::size_t length);  // in the kernel, at both offsets
  virtual int syncfs(int fd);  // everything on fd's file system

  // How many of these calls may run at once: 0 for one per core. A seam that
  // numbers the calls in order takes them one at a time.
  virtual unsigned concurrency() const { return 0; }
};

}  // namespace nimbra
