// Recursive copies into a folder held by a descriptor (see link_free.h).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <memory>
#include <vector>

#include "engine/platform/concurrency.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/link_free.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

struct FileCopy {
  fs::path from;
  std::shared_ptr<UniqueFd> folder;  // the copy's folder, kept open until all files are done
  std::string name;
  fs::path to;
  mode_t mode;
};

struct FolderMode {
  std::shared_ptr<UniqueFd> folder;
  mode_t mode;
  fs::path to;
};

void writeAll(SystemCalls& calls, int fd, const char* bytes, std::size_t length, const fs::path& path) {
  while (length > 0) {
    const ssize_t wrote = calls.write(fd, bytes, length);
    if (wrote < 0) {
      if (errno == EINTR) continue;
      throwFileError("write", path, errno);
    }
    bytes += wrote;
    length -= static_cast<std::size_t>(wrote);
  }
}

void copyBytes(SystemCalls& calls, int from, int to, const fs::path& source, const fs::path& target) {
  // copy_file_range keeps the bytes in the kernel; a file system that cannot
  // do it across the two files falls back to plain reads and writes.
  for (;;) {
    const ssize_t copied = calls.copyFileRange(from, to, 1 << 30);
    if (copied > 0) continue;
    if (copied == 0) return;
    if (errno == EINTR) continue;
    if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
      throwFileError("copy", source, target, errno);
    }
    break;
  }
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      throwFileError("read", source, errno);
    }
    if (got == 0) return;
    writeAll(calls, to, buffer.data(), static_cast<std::size_t>(got), target);
  }
}

void copyFile(SystemCalls& calls, const FileCopy& file) {
  const UniqueFd source = openForReadingWithoutLinks(file.from);
  // A clone shares the source's blocks, so nothing is written; where the
  // file system cannot clone (or the two lie on different ones), a copy.
  if (calls.cloneFileAt(source.get(), file.folder->get(), file.name.c_str()) == 0) return;
  if (errno != ENOTSUP && errno != EXDEV && errno != ENOSYS) throwFileError("copy", file.from, file.to, errno);
  UniqueFd target(calls.openAt(file.folder->get(), file.name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, file.mode & 07777));
  if (!target.valid()) throwFileError("create", file.to, errno);
  copyBytes(calls, source.get(), target.get(), file.from, file.to);
#if !NIMBRA_MAC
  // Start writing the copy out now, so that the later flush waits for little.
  ::sync_file_range(target.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

// Makes the folders and links of the tree and lists its files.
void copyStructure(SystemCalls& calls, const fs::path& from, const std::shared_ptr<UniqueFd>& folder,
                   const std::string& name, const fs::path& to, std::vector<FileCopy>& files,
                   std::vector<FolderMode>& folders) {
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) throwFileError("lstat", from, errno);
  if (S_ISREG(info.st_mode)) return files.push_back({from, folder, name, to, info.st_mode});
  if (S_ISLNK(info.st_mode)) {
    std::error_code error;
    const fs::path target = fs::read_symlink(from, error);
    if (error) throw fs::filesystem_error("readlink", from, error);
    if (calls.symlinkAt(target.c_str(), folder->get(), name.c_str()) != 0) throwFileError("symlink", to, errno);
    return;
  }
  if (!S_ISDIR(info.st_mode)) throwFileError("copy", from, to, ENOTSUP);
  if (calls.mkdirAt(folder->get(), name.c_str(), 0700) != 0) throwFileError("mkdir", to, errno);
  auto child = std::make_shared<UniqueFd>(::openat(folder->get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!child->valid()) throwFileError("open", to, errno);
  std::error_code error;
  for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    const std::string entry = it->path().filename().string();
    copyStructure(calls, it->path(), child, entry, to / entry, files, folders);
  }
  if (error) throw fs::filesystem_error("list", from, error);
  folders.push_back({child, info.st_mode, to});
}

}  // namespace

void copyTreeAt(SystemCalls& calls, const fs::path& from, int folder, const std::string& name, const fs::path& to) {
  auto parent = std::make_shared<UniqueFd>(::dup(folder));
  if (!parent->valid()) throwFileError("dup", to, errno);
  std::vector<FileCopy> files;
  std::vector<FolderMode> folders;
  copyStructure(calls, from, parent, name, to, files, folders);
  for (const std::exception_ptr& failure : forEachConcurrently(
           files.size(), [&](std::size_t i) { copyFile(calls, files[i]); }, calls.concurrency())) {
    if (failure) std::rethrow_exception(failure);
  }
  // Modes last: a folder without write permission still received its files.
  for (const FolderMode& made : folders) {
    if (::fchmod(made.folder->get(), made.mode & 07777) != 0) throwFileError("chmod", made.to, errno);
  }
}

}  // namespace nimbra
