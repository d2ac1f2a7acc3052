// A Mac's file calls over Linux's: F_FULLFSYNC, renameatx_np (xnu's
// renameat with flags), fclonefileat (APFS clones, extended attributes
// copied), the xattr calls with their options (a Mac's names stand in
// Linux's user namespace: "user.com.apple.quarantine"), and Libc's statvfs,
// whose block counts are 32 bits wide.
//
// Which folders lie on a volume that can clone, or that lacks RENAME_EXCL,
// the environment says: NIMBRA_MAC_CLONES=<folder> (every folder when set
// empty) and NIMBRA_MAC_NO_RENAME_EXCL=<folder>.

#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "tests/mac/standin.h"

namespace nimbra::mac {

namespace fs = std::filesystem;

void record(const std::string& line) {
  if (const char* calls = std::getenv("NIMBRA_MAC_CALLS")) std::ofstream(calls, std::ios::app) << line << "\n";
}

namespace {

fs::path pathOf(int fd, const char* name = "") {
  std::error_code error;
  const fs::path folder = fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
  return *name == '\0' ? folder : folder / name;
}

bool below(const char* variable, const fs::path& path) {
  const char* folder = std::getenv(variable);
  return folder != nullptr && (*folder == '\0' || path.string().starts_with(folder));
}

int fail(int error) {
  errno = error;
  return -1;
}

// Linux's own xattr calls: the names are a Mac's here.
ssize_t listLinux(int fd, char* names, size_t size) { return ::syscall(SYS_flistxattr, fd, names, size); }

constexpr std::string_view kUser = "user.";

}  // namespace

}  // namespace nimbra::mac

using namespace nimbra::mac;

extern "C" int nimbra_mac_fcntl(int fd, int command, ...) {
  va_list arguments;
  va_start(arguments, command);
  const long argument = va_arg(arguments, long);
  va_end(arguments);
  if (command == 51) {  // F_FULLFSYNC: the file, then the drive's whole cache
    record("F_FULLFSYNC " + pathOf(fd).string());
    return ::fsync(fd);
  }
  if (command == 45) return 0;  // F_RDAHEAD: advice
  return ::fcntl(fd, command, argument);
}

extern "C" int renameatx_np(int fromfd, const char* from, int tofd, const char* to, unsigned int flags) {
  constexpr unsigned kSwap = 0x2, kExclusive = 0x4;
  if ((flags & ~(kSwap | kExclusive)) != 0 || flags == (kSwap | kExclusive)) return fail(EINVAL);
  if (flags == 0) return ::renameat(fromfd, from, tofd, to);
  if ((flags & kExclusive) != 0 && below("NIMBRA_MAC_NO_RENAME_EXCL", pathOf(tofd))) return fail(ENOTSUP);
  const int result = ::renameat2(fromfd, from, tofd, to, flags == kSwap ? RENAME_EXCHANGE : RENAME_NOREPLACE);
  return result != 0 && errno == EINVAL ? fail(ENOTSUP) : result;
}

extern "C" int fclonefileat(int srcfd, int dst_dirfd, const char* dst, uint32_t) {
  struct stat source {}, folder {};
  if (::fstat(srcfd, &source) != 0 || ::fstat(dst_dirfd, &folder) != 0) return -1;
  if (!S_ISREG(source.st_mode)) return fail(EINVAL);
  if (source.st_dev != folder.st_dev) return fail(EXDEV);
  if (!below("NIMBRA_MAC_CLONES", pathOf(dst_dirfd))) return fail(ENOTSUP);
  const int clone = ::openat(dst_dirfd, dst, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777);
  if (clone < 0) return -1;
  std::vector<char> bytes(static_cast<std::size_t>(source.st_size));
  const bool copied = ::pread(srcfd, bytes.data(), bytes.size(), 0) == source.st_size &&
                      ::write(clone, bytes.data(), bytes.size()) == source.st_size;
  std::vector<char> names(64 * 1024);
  const ssize_t listed = listLinux(srcfd, names.data(), names.size());
  for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(&names[at])) + 1) {
    std::vector<char> value(64 * 1024);
    const ssize_t size = ::syscall(SYS_fgetxattr, srcfd, &names[at], value.data(), value.size());
    if (size >= 0) ::syscall(SYS_fsetxattr, clone, &names[at], value.data(), static_cast<size_t>(size), 0);
  }
  ::close(clone);
  if (!copied) return fail(EIO);
  record("clone " + pathOf(dst_dirfd, dst).string());
  return 0;
}

// A Mac's signatures: these stand for Linux's calls of the same names in
// every program built with the stand-ins.
extern "C" ssize_t flistxattr(int fd, char* names, size_t size, int options) {
  if (options != 0) return fail(EINVAL);  // XATTR_NOFOLLOW means nothing for a descriptor
  std::vector<char> linux(64 * 1024);
  const ssize_t listed = listLinux(fd, linux.data(), linux.size());
  if (listed < 0) return -1;
  std::string mac;
  for (ssize_t at = 0; at < listed; at += static_cast<ssize_t>(std::strlen(&linux[at])) + 1) {
    const std::string_view name = &linux[at];
    if (name.starts_with(kUser)) mac.append(name.substr(kUser.size())).push_back('\0');
  }
  if (names == nullptr) return static_cast<ssize_t>(mac.size());
  if (mac.size() > size) return fail(ERANGE);
  std::memcpy(names, mac.data(), mac.size());
  return static_cast<ssize_t>(mac.size());
}

extern "C" int fremovexattr(int fd, const char* name, int options) {
  if (options != 0) return fail(EINVAL);
  return static_cast<int>(::syscall(SYS_fremovexattr, fd, (std::string(kUser) + name).c_str()));
}

extern "C" int nimbra_mac_statvfs(const char* path, struct statvfs* buffer) {
  if (::statvfs(path, buffer) != 0) return -1;
  // fsblkcnt_t is 32 bits on a Mac: Libc's copy from statfs keeps the low ones.
  constexpr auto kMask = std::numeric_limits<std::uint32_t>::max();
  buffer->f_blocks &= kMask;
  buffer->f_bfree &= kMask;
  buffer->f_bavail &= kMask;
  return 0;
}
