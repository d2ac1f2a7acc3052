#include "engine/platform/system_calls.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nimbra {

SystemCalls& SystemCalls::real() {
  static SystemCalls instance;
  return instance;
}

int SystemCalls::openAt(int folder, const char* name, int flags, mode_t mode) {
  return ::openat(folder, name, flags, mode);
}

ssize_t SystemCalls::write(int fd, const void* bytes, std::size_t length) { return ::write(fd, bytes, length); }

int SystemCalls::fsync(int fd) { return ::fsync(fd); }

int SystemCalls::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  return ::renameat2(fromFolder, from, toFolder, to, flags);
}

int SystemCalls::mkdirAt(int folder, const char* name, mode_t mode) { return ::mkdirat(folder, name, mode); }

int SystemCalls::unlinkAt(int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); }

int SystemCalls::symlinkAt(const char* target, int folder, const char* name) {
  return ::symlinkat(target, folder, name);
}

ssize_t SystemCalls::copyFileRange(int from, int to, std::size_t length) {
  return ::copy_file_range(from, nullptr, to, nullptr, length, 0);
}

int SystemCalls::syncfs(int fd) { return ::syncfs(fd); }

}  // namespace nimbra
