// The calls alike on both systems; each system's own are in
// system_calls_linux.cpp and system_calls_mac.cpp.

#include "engine/platform/system_calls.h"

#include <fcntl.h>
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

int SystemCalls::mkdirAt(int folder, const char* name, mode_t mode) { return ::mkdirat(folder, name, mode); }

int SystemCalls::unlinkAt(int folder, const char* name, int flags) { return ::unlinkat(folder, name, flags); }

int SystemCalls::symlinkAt(const char* target, int folder, const char* name) {
  return ::symlinkat(target, folder, name);
}

}  // namespace nimbra
