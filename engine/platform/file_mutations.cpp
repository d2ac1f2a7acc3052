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

// A new temporary file beside path. A name already taken (left by a run that
// was cut off, or drawn alike in a forked process) is passed over.
UniqueFd createTemporary(SystemCalls& calls, int folder, const fs::path& path, std::string& name) {
  for (int attempt = 0;; ++attempt) {
    name = temporaryName(path);
    UniqueFd fd(calls.openAt(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.valid() || errno != EEXIST || attempt == 8) {
      if (!fd.valid()) throwFileError("create", parentOf(path) / name, errno);
      return fd;
    }
  }
}

void writeAll(SystemCalls& calls, int fd, std::string_view bytes, const fs::path& path) {
  while (!bytes.empty()) {
    const ssize_t wrote = calls.write(fd, bytes.data(), bytes.size());
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
    makeFolderWithoutLinks(calls_, path);
    return;
  }
  const UniqueFd parent = openFolderWithoutLinks(parentOf(path));
  if (calls_.mkdirAt(parent.get(), path.filename().c_str(), 0755) != 0) throwFileError("mkdir", path, errno);
  syncAt(calls_, parent.get(), parentOf(path));
}

void FileManager::writeAtomically(const fs::path& path, std::string_view bytes) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(path));
  std::string temporary;
  UniqueFd fd = createTemporary(calls_, folder.get(), path, temporary);
  const fs::path shown = parentOf(path) / temporary;
  try {
    writeAll(calls_, fd.get(), bytes, shown);
    if (calls_.fsync(fd.get()) != 0) throwFileError("fsync", shown, errno);
    fd.reset();
    if (calls_.renameAt(folder.get(), temporary.c_str(), folder.get(), path.filename().c_str(), 0) != 0) {
      throwFileError("rename", shown, path, errno);
    }
  } catch (...) {
    calls_.unlinkAt(folder.get(), temporary.c_str(), 0);
    throw;
  }
  syncAt(calls_, folder.get(), parentOf(path));
}

void FileManager::appendToFile(const fs::path& path, std::string_view bytes) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(path));
  UniqueFd fd(calls_.openAt(folder.get(), path.filename().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW,
                            0644));
  if (!fd.valid()) throwFileError("create", path, errno);
  writeAll(calls_, fd.get(), bytes, path);
}

void FileManager::moveItem(const fs::path& from, const fs::path& to) {
  const UniqueFd fromFolder = openFolderWithoutLinks(parentOf(from));
  const UniqueFd toFolder = openFolderWithoutLinks(parentOf(to));
  const fs::path fromName = from.filename(), toName = to.filename();
  if (calls_.renameAt(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(), kRenameNoReplace) != 0) {
    const int error = errno;
    if (error == EINVAL) {
      // A file system without RENAME_NOREPLACE: test, then rename. The gap is
      // only open to another writer in the user's own folders.
      struct stat info {};
      if (::fstatat(toFolder.get(), toName.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        throwFileError("rename", from, to, EEXIST);
      }
      if (calls_.renameAt(fromFolder.get(), fromName.c_str(), toFolder.get(), toName.c_str(), 0) != 0) {
        throwFileError("rename", from, to, errno);
      }
    } else {
      throwFileError("rename", from, to, error);
    }
  }
  // The move is on disk before whatever the caller records next.
  syncAt(calls_, toFolder.get(), parentOf(to));
  if (parentOf(from) != parentOf(to)) syncAt(calls_, fromFolder.get(), parentOf(from));
}

void FileManager::copyItem(const fs::path& from, const fs::path& to) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(to));
  copyTreeAt(calls_, from, folder.get(), to.filename().string(), to);
}

void FileManager::removeItem(const fs::path& path) {
  const UniqueFd folder = openFolderWithoutLinks(parentOf(path));
  removeAt(calls_, folder.get(), path.filename().string(), path);
}

}  // namespace nimbra
