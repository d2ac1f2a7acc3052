#include "engine/platform/file_manager.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

#include "engine/platform/unique_fd.h"

namespace nimbra {

namespace fs = std::filesystem;

void throwFileError(const char* operation, const fs::path& path, int error) {
  throw fs::filesystem_error(operation, path, std::error_code(error, std::system_category()));
}

void throwFileError(const char* operation, const fs::path& from, const fs::path& to, int error) {
  throw fs::filesystem_error(operation, from, to, std::error_code(error, std::system_category()));
}

FileManager& FileManager::standard() {
  static FileManager instance;
  return instance;
}

bool FileManager::fileExists(const fs::path& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

bool FileManager::isDirectory(const fs::path& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool FileManager::isSymbolicLink(const fs::path& path) const {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) throwFileError("lstat", path, errno);
  return S_ISLNK(info.st_mode);
}

bool FileManager::isRegularFile(const fs::path& path) const {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileManager::isExecutableFile(const fs::path& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> FileManager::contentsOfDirectory(const fs::path& path) const {
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) throw fs::filesystem_error("list", path, error);
  return names;
}

fs::path FileManager::destinationOfSymbolicLink(const fs::path& path) const {
  std::error_code error;
  fs::path target = fs::read_symlink(path, error);
  if (error) throw fs::filesystem_error("readlink", path, error);
  return target;
}

namespace {

constexpr std::size_t kBlock = 256 * 1024;
}  // namespace

std::uint64_t FileManager::readFile(const fs::path& path,
                                    const std::function<void(std::string_view)>& sink) const {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", path, errno);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throwFileError("fstat", path, errno);
  if (S_ISDIR(info.st_mode)) throwFileError("read", path, EISDIR);

  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  // One buffer per thread, reused: a file costs no allocation.
  static thread_local std::unique_ptr<char[]> buffer(new char[kBlock]);
  std::uint64_t total = 0;
  for (;;) {
    const ssize_t got = ::read(fd.get(), buffer.get(), kBlock);
    if (got < 0) {
      if (errno == EINTR) continue;
      throwFileError("read", path, errno);
    }
    if (got == 0) return total;
    total += static_cast<std::uint64_t>(got);
    sink(std::string_view(buffer.get(), static_cast<std::size_t>(got)));
  }
}

std::string FileManager::readWholeFile(const fs::path& path, std::size_t maxBytes) const {
  std::string bytes;
  readFile(path, [&](std::string_view block) {
    if (bytes.size() + block.size() > maxBytes) throwFileError("read", path, EFBIG);
    bytes.append(block);
  });
  return bytes;
}

std::uint64_t FileManager::fileSize(const fs::path& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throwFileError("stat", path, errno);
  return static_cast<std::uint64_t>(info.st_size);
}

namespace {

struct Level {
  fs::directory_iterator iterator;
  fs::path relative;
};

bool hiddenName(const fs::path& name) {
  const std::string& text = name.native();
  return !text.empty() && text.front() == '.';
}

}  // namespace

bool FileManager::walk(const fs::path& root, Hidden hidden, const Visitor& visit,
                       const ErrorHandler& onError) const {
  std::error_code error;
  fs::directory_iterator first(root, error);
  if (error) return false;

  std::vector<Level> levels;
  levels.push_back({std::move(first), fs::path()});
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.iterator == fs::directory_iterator()) {
      levels.pop_back();
      continue;
    }
    const fs::directory_entry& item = *level.iterator;
    const fs::path name = item.path().filename();
    WalkEntry entry;
    entry.path = item.path();
    entry.relative = level.relative.empty() ? name : level.relative / name;
    entry.depth = static_cast<int>(levels.size());
    const fs::file_status status = item.symlink_status(error);
    entry.isSymbolicLink = !error && fs::is_symlink(status);
    entry.isDirectory = !error && fs::is_directory(status);

    bool descend = false;
    if (hidden == Hidden::include || !hiddenName(name)) descend = visit(entry) && entry.isDirectory;

    level.iterator.increment(error);
    if (error) {
      levels.back().iterator = fs::directory_iterator();
      if (!onError(fs::filesystem_error("walk", entry.path.parent_path(), error))) return true;
      error.clear();
    }
    if (descend) {
      fs::directory_iterator child(entry.path, error);
      if (error) {
        if (!onError(fs::filesystem_error("walk", entry.path, error))) return true;
        error.clear();
        continue;
      }
      levels.push_back({std::move(child), entry.relative});
    }
  }
  return true;
}

}  // namespace nimbra
