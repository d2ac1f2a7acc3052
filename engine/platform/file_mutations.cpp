// The mutating half of FileManager: every change the engine makes on disk.
// Each works on folder descriptors opened without following links (see
// link_free.h), so a link planted on the way fails the call with ELOOP
// instead of redirecting it.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "engine/platform/file_manager.h"
#include "engine/platform/link_free.h"
#include "engine/platform/unique_fd.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

fs::path parentOf(const fs::path& path) {
  fs::path parent = path.parent_path();
  return parent.empty() ? fs::path(".") : parent;
}

std::string temporaryName(const fs::path& path) {
  static thread_local std::mt19937_64 random{std::random_device{}()};
  return "." + path.filename().string() + ".tmp-" + std::to_string(random());
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

}  // namespace

void FileManager::createDirectory(const fs::path& path, Intermediates intermediates) {
  if (intermediates == Intermediates::yes) {
    openFolderWithoutLinks(path, Create::yes);
    return;
  }
  const UniqueFd parent = openFolderWithoutLinks(parentOf(path));
  if (::mkdirat(parent.get(), path.filename().c_str(), 0755) != 0) throwFileError("mkdir", path, errno);
  syncAt(parent.get(), parentOf(path));
}

void FileManager::writeAtomically(const fs::path& path, std::string_view bytes) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(path));
  const std::string temporary = temporaryName(path);
  const fs::path shown = parentOf(path) / temporary;
  UniqueFd fd(::openat(folder.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd.valid()) throwFileError("create", shown, errno);
  try {
    writeAll(fd.get(), bytes, shown);
    if (::fsync(fd.get()) != 0) throwFileError("fsync", shown, errno);
    fd.reset();
    if (::renameat(folder.get(), temporary.c_str(), folder.get(), path.filename().c_str()) != 0) {
      throwFileError("rename", shown, path, errno);
    }
  } catch (...) {
    ::unlinkat(folder.get(), temporary.c_str(), 0);
    throw;
  }
  syncAt(folder.get(), parentOf(path));
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) {
  const UniqueFd fromFolder = openFolderWithoutLinks(parentOf(from));
  const UniqueFd toFolder = openFolderWithoutLinks(parentOf(to));
  const fs::path fromName = from.filename(), toName = to.filename();
  if (::renameat2(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(), RENAME_NOREPLACE) != 0) {
    const int error = errno;
    if (error == EXDEV) {
      copyTreeAt(from, toFolder.get(), toName.string(), to);
      syncFileSystem(to);
      removeAt(fromFolder.get(), fromName.string(), from);
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

void FileManager::copyItem(const fs::path& from, const fs::path& to) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(to));
  copyTreeAt(from, folder.get(), to.filename().string(), to);
}

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
