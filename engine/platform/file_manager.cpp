#include "engine/platform/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#if NIMBRA_MAC
#include <sys/mount.h>
#else
#include <sys/vfs.h>
#endif

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "engine/platform/link_free.h"
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

namespace {

// path, or the nearest folder on its way that exists, with what stat says of
// it: what a change at path would meet first.
std::optional<std::pair<fs::path, struct stat>> nearestExisting(const fs::path& path) {
  for (fs::path at = fs::absolute(path).lexically_normal(); !at.empty(); at = at.parent_path()) {
    struct stat info {};
    if (::stat(at.c_str(), &info) == 0) return std::pair{at, info};
    if (at == at.root_path()) break;
  }
  return std::nullopt;
}

}  // namespace

std::optional<FileSystemSpace> FileManager::spaceFor(const fs::path& path) const {
  const auto existing = nearestExisting(path);
  // statfs, not statvfs: a Mac's statvfs counts blocks in 32 bits, and a
  // volume with more than 2^32 free blocks would read as nearly full.
  struct statfs space {};
  if (!existing || ::statfs(existing->first.c_str(), &space) != 0) return std::nullopt;
  const auto block = static_cast<std::uint64_t>(space.f_bsize);
  return FileSystemSpace{existing->second.st_dev, block, static_cast<std::uint64_t>(space.f_bavail) * block};
}

int FileManager::changeRefusal(const fs::path& path) const {
  const auto existing = nearestExisting(path);
  if (!existing) return ENOENT;
  // The effective ids decide, as they will for the change itself; a disk
  // mounted read-only answers EROFS even to root.
  return ::faccessat(AT_FDCWD, existing->first.c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
}

namespace {

// The entries of an open folder, "." and ".." left out. Takes fd over.
struct Listing {
  Listing(UniqueFd fd, const fs::path& path) : folder(::fdopendir(fd.get())) {
    if (folder == nullptr) throwFileError("list", path, errno);
    (void)fd.release();
  }
  ~Listing() { ::closedir(folder); }
  Listing(const Listing&) = delete;
  Listing& operator=(const Listing&) = delete;
  // The next name, or nothing at the end; throws what readdir met.
  std::optional<std::string> next(const fs::path& path) {
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(folder);
      if (entry == nullptr) {
        if (errno != 0) throwFileError("list", path, errno);
        return std::nullopt;
      }
      const std::string name = entry->d_name;
      if (name != "." && name != "..") return name;
    }
  }
  DIR* folder;
};

UniqueFd openForReading(const fs::path& path, Links links) {
  if (links == Links::refuse) return openForReadingWithoutLinks(path);
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", path, errno);
  return fd;
}

}  // namespace

std::vector<std::string> FileManager::contentsOfDirectory(const fs::path& path) const {
  UniqueFd fd = openForReadingWithoutLinks(path);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throwFileError("list", path, errno);
  if (!S_ISDIR(info.st_mode)) throwFileError("list", path, ENOTDIR);
  Listing listing(std::move(fd), path);
  std::vector<std::string> names;
  while (std::optional<std::string> name = listing.next(path)) names.push_back(std::move(*name));
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

std::uint64_t FileManager::readFile(const fs::path& path, const std::function<void(std::string_view)>& sink,
                                    Links links) const {
  const UniqueFd fd = openForReading(path, links);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0) throwFileError("fstat", path, errno);
  if (S_ISDIR(info.st_mode)) throwFileError("read", path, EISDIR);

#if NIMBRA_MAC
  ::fcntl(fd.get(), F_RDAHEAD, 1);
#else
  ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
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

std::string FileManager::readWholeFile(const fs::path& path, std::size_t maxBytes, Links links) const {
  std::string bytes;
  readFile(
      path,
      [&](std::string_view block) {
        if (bytes.size() + block.size() > maxBytes) throwFileError("read", path, EFBIG);
        bytes.append(block);
      },
      links);
  return bytes;
}

std::uint64_t FileManager::fileSize(const fs::path& path) const {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throwFileError("stat", path, errno);
  return static_cast<std::uint64_t>(info.st_size);
}

namespace {

struct Level {
  std::unique_ptr<Listing> listing;
  fs::path path;
  fs::path relative;
};

}  // namespace

bool isHiddenName(const fs::path& path) {
  const std::string name = path.filename().string();
  return !name.empty() && name.front() == '.';
}

bool isFinderFile(const fs::path& path) {
  const std::string name = path.filename().string();
  return name == ".DS_Store" || name.starts_with("._");
}

bool FileManager::walk(const fs::path& root, Hidden hidden, const Visitor& visit, const ErrorHandler& onError,
                       Links links) const {
  std::vector<Level> levels;
  try {
    levels.push_back({std::make_unique<Listing>(openForReading(root, links), root), root, fs::path()});
  } catch (const fs::filesystem_error&) {
    return false;
  }
  while (!levels.empty()) {
    Level& level = levels.back();
    std::optional<std::string> name;
    try {
      name = level.listing->next(level.path);
    } catch (const fs::filesystem_error& error) {
      if (!onError(error)) return true;
    }
    if (!name) {
      levels.pop_back();
      continue;
    }
    WalkEntry entry;
    entry.path = level.path / *name;
    entry.relative = level.relative.empty() ? fs::path(*name) : level.relative / *name;
    entry.depth = static_cast<int>(levels.size());
    const int folder = ::dirfd(level.listing->folder);
    struct stat info {};
    if (::fstatat(folder, name->c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      entry.isSymbolicLink = S_ISLNK(info.st_mode);
      entry.isDirectory = S_ISDIR(info.st_mode);
      entry.isRegularFile = S_ISREG(info.st_mode);
    }
    if (hidden == Hidden::skip && isHiddenName(*name)) continue;
    if (!visit(entry) || !entry.isDirectory) continue;
    // Below the root nothing is followed: the folder is opened beside its
    // entry, never through a link.
    UniqueFd child(::openat(folder, name->c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!child.valid()) {
      if (!onError(fs::filesystem_error("walk", entry.path, std::error_code(errno, std::system_category())))) {
        return true;
      }
      continue;
    }
    levels.push_back({std::make_unique<Listing>(std::move(child), entry.path), entry.path, entry.relative});
  }
  return true;
}

}  // namespace nimbra
