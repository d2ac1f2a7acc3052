// The mutating half of FileManager: every change the engine makes on disk.

#include <dirent.h>
#include <fcntl.h>
#include <exception>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <vector>

#include "engine/platform/concurrency.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/unique_fd.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

void syncFolder(const fs::path& folder) {
  UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", folder, errno);
  if (::fsync(fd.get()) != 0) throwFileError("fsync", folder, errno);
}

fs::path parentOf(const fs::path& path) {
  fs::path parent = path.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

void writeAll(int fd, std::string_view bytes, const fs::path& path) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (wrote < 0) {
      if (errno == EINTR) continue;
      throwFileError("write", path, errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
}

void copyBytes(int from, int to, const fs::path& source, const fs::path& target) {
  // copy_file_range keeps the bytes in the kernel; a file system that cannot
  // do it across the two files falls back to plain reads and writes.
  for (;;) {
    const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, 1 << 30, 0);
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
    writeAll(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)), target);
  }
}

struct FileCopy {
  fs::path from, to;
  mode_t mode;
};

void copyFile(const FileCopy& file) {
  UniqueFd source(::open(file.from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!source.valid()) throwFileError("open", file.from, errno);
  UniqueFd target(::open(file.to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, file.mode & 07777));
  if (!target.valid()) throwFileError("create", file.to, errno);
  copyBytes(source.get(), target.get(), file.from, file.to);
  // Start writing the copy out now, so that the later sync waits for little.
  ::sync_file_range(target.get(), 0, 0, SYNC_FILE_RANGE_WRITE);
}

// Makes the folders and links of the tree at once and lists its files, which
// are then copied on every core.
void copyStructure(const fs::path& from, const fs::path& to, std::vector<FileCopy>& files) {
  struct stat info {};
  if (::lstat(from.c_str(), &info) != 0) throwFileError("lstat", from, errno);
  if (S_ISREG(info.st_mode)) return files.push_back({from, to, info.st_mode});
  if (S_ISLNK(info.st_mode)) {
    std::error_code error;
    const fs::path target = fs::read_symlink(from, error);
    if (error) throw fs::filesystem_error("readlink", from, error);
    if (::symlink(target.c_str(), to.c_str()) != 0) throwFileError("symlink", to, errno);
    return;
  }
  if (!S_ISDIR(info.st_mode)) throwFileError("copy", from, to, ENOTSUP);
  if (::mkdir(to.c_str(), 0700) != 0) throwFileError("mkdir", to, errno);
  std::error_code error;
  for (fs::directory_iterator it(from, error), end; !error && it != end; it.increment(error)) {
    copyStructure(it->path(), to / it->path().filename(), files);
  }
  if (error) throw fs::filesystem_error("list", from, error);
  if (::chmod(to.c_str(), info.st_mode & 07777) != 0) throwFileError("chmod", to, errno);
}

void copyTree(const fs::path& from, const fs::path& to) {
  std::vector<FileCopy> files;
  copyStructure(from, to, files);
  for (const std::exception_ptr& failure :
       forEachConcurrently(files.size(), [&](std::size_t i) { copyFile(files[i]); })) {
    if (failure) std::rethrow_exception(failure);
  }
}

std::string temporaryName(const fs::path& path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + path.filename().string() + ".tmp-" + std::to_string(random());
}

// Opens a folder walking down from "/" one component at a time, refusing any
// component that is a symbolic link (ELOOP), so that what is done through the
// descriptor lands where the path says, even if a folder on the way is swapped
// for a link after every earlier check. The system's own "/tmp" and "/var"
// links to "private/..." are followed.
UniqueFd openFolderWithoutLinks(const fs::path& folder) {
  const fs::path absolute = fs::absolute(folder).lexically_normal();
  UniqueFd current(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (!current.valid()) throwFileError("open", "/", errno);
  bool atRoot = true;
  for (const fs::path& component : absolute.relative_path()) {
    if (component.empty()) continue;
    int flags = O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW;
    if (atRoot && (component == "tmp" || component == "var")) {
      char target[64] = {};
      const ssize_t length = ::readlinkat(current.get(), component.c_str(), target, sizeof target - 1);
      if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == "private/" + component.string()) {
        flags &= ~O_NOFOLLOW;
      }
    }
    const int fd = ::openat(current.get(), component.c_str(), flags);
    if (fd < 0) {
      struct stat info {};
      const bool link = ::fstatat(current.get(), component.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
      throwFileError("open", folder, link ? ELOOP : errno);
    }
    current.reset(fd);
    atRoot = false;
  }
  return current;
}

void syncAt(int folder, const fs::path& path) {
  UniqueFd fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", path, errno);
  if (::fsync(fd.get()) != 0) throwFileError("fsync", path, errno);
}

// Removes name inside folder and everything below it, never following a link.
void removeAt(int folder, const std::string& name, const fs::path& path) {
  struct stat info {};
  if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) throwFileError("remove", path, errno);
  if (S_ISDIR(info.st_mode)) {
    const int fd = ::openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) throwFileError("remove", path, errno);
    DIR* listing = ::fdopendir(fd);
    if (listing == nullptr) {
      ::close(fd);
      throwFileError("remove", path, errno);
    }
    std::vector<std::string> names;
    for (dirent* entry = ::readdir(listing); entry != nullptr; entry = ::readdir(listing)) {
      const std::string child = entry->d_name;
      if (child != "." && child != "..") names.push_back(child);
    }
    try {
      for (const std::string& child : names) removeAt(::dirfd(listing), child, path / child);
    } catch (...) {
      ::closedir(listing);
      throw;
    }
    ::closedir(listing);
    if (::unlinkat(folder, name.c_str(), AT_REMOVEDIR) != 0) throwFileError("remove", path, errno);
    return;
  }
  if (::unlinkat(folder, name.c_str(), 0) != 0) throwFileError("remove", path, errno);
}

}  // namespace

void FileManager::createDirectory(const fs::path& path, Intermediates intermediates) {
  if (intermediates == Intermediates::no) {
    if (::mkdir(path.c_str(), 0755) != 0) throwFileError("mkdir", path, errno);
    syncFolder(parentOf(path));
    return;
  }
  std::vector<fs::path> missing;
  for (fs::path at = path; !at.empty() && !fileExists(at); at = at.parent_path()) {
    missing.push_back(at);
    if (at == at.parent_path()) break;
  }
  if (missing.empty() && !fs::is_directory(path)) throwFileError("mkdir", path, ENOTDIR);
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0755) != 0 && !(errno == EEXIST && fs::is_directory(*it))) {
      throwFileError("mkdir", *it, errno);
    }
    syncFolder(parentOf(*it));
  }
}

void FileManager::writeAtomically(const fs::path& path, std::string_view bytes) {
  const fs::path folder = parentOf(path);
  const fs::path temporary = folder / temporaryName(path);
  UniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd.valid()) throwFileError("create", temporary, errno);
  try {
    writeAll(fd.get(), bytes, temporary);
    if (::fsync(fd.get()) != 0) throwFileError("fsync", temporary, errno);
    fd.reset();
    if (::rename(temporary.c_str(), path.c_str()) != 0) throwFileError("rename", temporary, path, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  syncFolder(folder);
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) {
  // Both folders are held by descriptors opened without following any link.
  const UniqueFd fromFolder = openFolderWithoutLinks(parentOf(from));
  const UniqueFd toFolder = openFolderWithoutLinks(parentOf(to));
  const fs::path fromName = from.filename(), toName = to.filename();
  if (::renameat2(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(), RENAME_NOREPLACE) != 0) {
    const int error = errno;
    if (error == EXDEV) {
      copyTree(from, to);
      syncFileSystem(to);
      removeItem(from);
    } else if (error == EINVAL) {
      // A file system without RENAME_NOREPLACE: test, then rename. The gap is
      // only open to another writer in the user's own folders.
      struct stat info {};
      if (::fstatat(toFolder.get(), toName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        throwFileError("rename", from, to, EEXIST);
      }
      if (::renameat(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str()) != 0) {
        throwFileError("rename", from, to, errno);
      }
    } else {
      throwFileError("rename", from, to, error);
    }
  }
  // The move is on disk before whatever the caller records next.
  syncAt(toFolder.get(), parentOf(to));
  if (parentOf(from) != parentOf(to)) syncAt(fromFolder.get(), parentOf(from));
}

void FileManager::copyItem(const fs::path& from, const fs::path& to) { copyTree(from, to); }

void FileManager::removeItem(const fs::path& path) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(path));
  removeAt(folder.get(), path.filename().string(), path);
}

void FileManager::syncFileSystem(const fs::path& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", path, errno);
  if (::syncfs(fd.get()) != 0) throwFileError("syncfs", path, errno);
}

}  // namespace nimbra
