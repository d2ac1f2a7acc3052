#include "engine/platform/link_free.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

bool isSystemLink(const fs::path& name, const std::string& target) {
  return (name == "tmp" || name == "var") && target == "private/" + name.string();
}

namespace {

// A descriptor that names a folder for *at() calls without the right to read
// it, so a folder that may be searched but not listed is no obstacle.
#if NIMBRA_MAC
constexpr int kSearchOnly = O_SEARCH;
#else
constexpr int kSearchOnly = O_PATH | O_DIRECTORY;
#endif

bool systemLink(int root, const fs::path& name) {
  char target[64] = {};
  const ssize_t length = ::readlinkat(root, name.c_str(), target, sizeof target - 1);
  return length > 0 && isSystemLink(name, std::string(target, static_cast<std::size_t>(length)));
}

int openStep(int current, const fs::path& component, bool follow, SystemCalls* create, const fs::path& folder) {
  const int flags = kSearchOnly | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
  int fd = ::openat(current, component.c_str(), flags);
  if (fd < 0 && errno == ENOENT && create != nullptr) {
    if (create->mkdirAt(current, component.c_str(), 0755) != 0 && errno != EEXIST) throwFileError("mkdir", folder, errno);
    syncAt(*create, current, folder);
    fd = ::openat(current, component.c_str(), flags);
  }
  if (fd < 0) {
    struct stat info {};
    const bool link = ::fstatat(current, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode);
    throwFileError(create != nullptr ? "mkdir" : "open", folder, link ? ELOOP : errno);
  }
  return fd;
}

UniqueFd openFolder(const fs::path& folder, SystemCalls* create) {
  const fs::path absolute = fs::absolute(folder).lexically_normal();
  UniqueFd current(::open("/", kSearchOnly | O_CLOEXEC));
  if (!current.valid()) throwFileError("open", "/", errno);
  bool atRoot = true;
  for (const fs::path& component : absolute.relative_path()) {
    if (component.empty()) continue;
    current.reset(openStep(current.get(), component, atRoot && systemLink(current.get(), component), create, folder));
    atRoot = false;
  }
  return current;
}

}  // namespace

UniqueFd openFolderWithoutLinks(const fs::path& folder) { return openFolder(folder, nullptr); }

UniqueFd makeFolderWithoutLinks(SystemCalls& calls, const fs::path& folder) { return openFolder(folder, &calls); }

UniqueFd openForReadingWithoutLinks(const fs::path& path) {
  const fs::path absolute = fs::absolute(path).lexically_normal();
  const UniqueFd parent = openFolderWithoutLinks(absolute.parent_path());
  const fs::path name = absolute.filename().empty() ? fs::path(".") : absolute.filename();
  UniqueFd fd(::openat(parent.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (!fd.valid()) throwFileError("open", path, errno);
  return fd;
}

void syncAt(SystemCalls& calls, int folder, const fs::path& path) {
  UniqueFd fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) throwFileError("open", path, errno);
  if (calls.fsync(fd.get()) != 0) throwFileError("fsync", path, errno);
}

void removeAt(SystemCalls& calls, int folder, const std::string& name, const fs::path& path) {
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
      for (const std::string& child : names) removeAt(calls, ::dirfd(listing), child, path / child);
    } catch (...) {
      ::closedir(listing);
      throw;
    }
    ::closedir(listing);
    if (calls.unlinkAt(folder, name.c_str(), AT_REMOVEDIR) != 0) throwFileError("remove", path, errno);
    return;
  }
  if (calls.unlinkAt(folder, name.c_str(), 0) != 0) throwFileError("remove", path, errno);
}

}  // namespace nimbra
