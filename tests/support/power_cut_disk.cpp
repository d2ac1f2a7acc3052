#include "tests/support/power_cut_disk.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <random>

#include "tests/support/sandbox.h"

namespace nimbra::testing {

namespace fs = std::filesystem;

namespace {

constexpr bool kMac = NIMBRA_MAC;

fs::path pathOf(int fd) {
  std::error_code error;
  return fs::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
}

}  // namespace

bool PowerCutDisk::Change::ready() const {
  return synced.count(folder) != 0 && (toFolder == 0 || synced.count(toFolder) != 0);
}

PowerCutDisk::PowerCutDisk(fs::path root) : root_(std::move(root)) { capture(); }

// ---- The calls.

bool PowerCutDisk::intercept(const std::string& call) {
  ++count_;
  log_.push_back(call);
  int error = hook_ ? hook_(count_, call) : 0;
  if (const auto found = failures_.find(count_); found != failures_.end()) error = found->second;
  if (error == 0) return false;
  errno = error;
  return true;
}

int PowerCutDisk::openAt(int folder, const char* name, int flags, mode_t mode) {
  std::lock_guard lock(mutex_);
  if (intercept("create " + describe(folder, name))) return -1;
  struct stat info {};
  const bool existed = ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
  const int fd = ::openat(folder, name, flags, mode);
  if (fd < 0) return fd;
  if (!existed) {
    created(folder, name, Entry::Type::file);
  } else if ((flags & O_TRUNC) != 0) {
    if (const Id id = idOf(fd)) dirty_[id] = 0;
  }
  return fd;
}

ssize_t PowerCutDisk::write(int fd, const void* bytes, std::size_t length) {
  std::lock_guard lock(mutex_);
  if (intercept("write " + pathOf(fd).string())) return -1;
  const ssize_t wrote = ::write(fd, bytes, length);
  if (const Id id = wrote > 0 ? idOf(fd) : 0) dirty_.emplace(id, durable_[id].data.size());
  return wrote;
}

ssize_t PowerCutDisk::copyFileRange(int from, int to, std::size_t length) {
  if (kMac) {  // a Mac has none
    errno = ENOSYS;
    return -1;
  }
  std::lock_guard lock(mutex_);
  if (intercept("copy -> " + pathOf(to).string())) return -1;
  const ssize_t copied = ::copy_file_range(from, nullptr, to, nullptr, length, 0);
  if (const Id id = copied > 0 ? idOf(to) : 0) dirty_.emplace(id, durable_[id].data.size());
  return copied;
}

int PowerCutDisk::cloneFileAt(int from, int folder, const char* name) {
  if (!kMac) return SystemCalls::real().cloneFileAt(from, folder, name);
  std::lock_guard lock(mutex_);
  if (intercept("clone -> " + describe(folder, name))) return -1;
  if (onSecondVolume(pathOf(from)) != onSecondVolume(describe(folder, name))) {
    errno = EXDEV;
    return -1;
  }
  // A clone is a new file with the source's bytes, durable like any other.
  struct stat info {};
  ::fstat(from, &info);
  const int fd = ::openat(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 07777);
  if (fd < 0) return -1;
  const std::string bytes = readFile(pathOf(from));
  const bool whole = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  created(folder, name, Entry::Type::file);
  return whole ? 0 : -1;
}

int PowerCutDisk::fsync(int fd) {
  std::lock_guard lock(mutex_);
  if (intercept("fsync " + pathOf(fd).string())) return -1;
  const Id id = idOf(fd);
  if (id == 0) return 0;
  if (durable_[id].type != Entry::Type::folder) {
    durable_[id].data = readFile(pathOf(fd));
    dirty_.erase(id);
  } else {
    for (Change& change : pending_) {
      if (change.folder == id || change.toFolder == id) change.synced.insert(id);
    }
  }
  // A Mac's full flush empties the drive's cache of that whole volume.
  if (kMac) flushDrive(onSecondVolume(pathOf(fd)));
  applyReady();
  return 0;
}

int PowerCutDisk::sendToDrive(int fd) {
  if (!kMac) return fsync(fd);
  std::lock_guard lock(mutex_);
  if (intercept("send " + pathOf(fd).string())) return -1;
  const Id id = idOf(fd);
  if (id != 0 && durable_[id].type != Entry::Type::folder) sent_[id] = readFile(pathOf(fd));
  for (Change& change : pending_) {
    if (id != 0 && (change.folder == id || change.toFolder == id)) change.sent.insert(id);
  }
  return 0;
}

void PowerCutDisk::flushDrive(bool second) {
  const bool cached = !sent_.empty() || std::any_of(pending_.begin(), pending_.end(),
                                                     [](const Change& change) { return !change.sent.empty(); });
  if (!cached) return;
  const std::map<Id, fs::path> paths = livePaths();
  const auto here = [&](Id id) { return onVolume(paths, id, second); };
  std::erase_if(sent_, [&](const auto& entry) {
    const auto& [id, bytes] = entry;
    if (!here(id)) return false;
    durable_[id].data = bytes;
    if (readFile(paths.at(id)) == bytes) dirty_.erase(id);
    return true;
  });
  for (Change& change : pending_) {
    if (here(change.folder)) change.synced.insert(change.sent.begin(), change.sent.end());
  }
}

void PowerCutDisk::applyReady() {
  // In the order they were made: std::erase_if tests each in turn.
  std::erase_if(pending_, [&](const Change& change) {
    if (!change.ready()) return false;
    apply(change, durable_);
    return true;
  });
}

int PowerCutDisk::renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) {
  std::lock_guard lock(mutex_);
  if (intercept("rename " + describe(fromFolder, from) + " -> " + describe(toFolder, to))) return -1;
  if (onSecondVolume(describe(fromFolder, from)) != onSecondVolume(describe(toFolder, to))) {
    errno = EXDEV;
    return -1;
  }
  const Id node = idAt(fromFolder, from);
  const int result = ::renameat2(fromFolder, from, toFolder, to, flags);
  const Id source = idOf(fromFolder), target = idOf(toFolder);
  if (result == 0 && node != 0 && source != 0 && target != 0) pending_.push_back({source, target, from, to, node, {}, {}});
  return result;
}

int PowerCutDisk::mkdirAt(int folder, const char* name, mode_t mode) {
  std::lock_guard lock(mutex_);
  if (intercept("mkdir " + describe(folder, name))) return -1;
  const int result = ::mkdirat(folder, name, mode);
  if (result == 0) created(folder, name, Entry::Type::folder);
  return result;
}

int PowerCutDisk::unlinkAt(int folder, const char* name, int flags) {
  std::lock_guard lock(mutex_);
  if (intercept(((flags & AT_REMOVEDIR) != 0 ? "rmdir " : "unlink ") + describe(folder, name))) return -1;
  const int result = ::unlinkat(folder, name, flags);
  if (const Id id = result == 0 ? idOf(folder) : 0) pending_.push_back({id, 0, name, "", 0, {}, {}});
  return result;
}

int PowerCutDisk::syncfs(int fd) {
  std::lock_guard lock(mutex_);
  if (intercept("syncfs " + pathOf(fd).string())) return -1;
  if (second_.empty()) {
    capture();  // everything the file system holds is on the disk now
  } else {
    syncVolume(onSecondVolume(pathOf(fd)));
  }
  return 0;
}

bool PowerCutDisk::onSecondVolume(const fs::path& path) const {
  if (second_.empty()) return false;
  const std::string prefix = second_.string() + "/";
  return path == second_ || path.string().starts_with(prefix);
}

// What syncfs makes durable on one of two file systems: every file's bytes
// and every change of names there.
void PowerCutDisk::syncVolume(bool second) {
  const std::map<Id, fs::path> paths = livePaths();
  const auto here = [&](Id id) { return onVolume(paths, id, second); };
  std::erase_if(dirty_, [&](const auto& entry) {
    if (!here(entry.first)) return false;
    durable_[entry.first].data = readFile(paths.at(entry.first));
    return true;
  });
  std::erase_if(pending_, [&](const Change& change) {
    if (!here(change.folder)) return false;
    apply(change, durable_);
    return true;
  });
}

std::map<PowerCutDisk::Id, fs::path> PowerCutDisk::livePaths() const {
  std::map<Id, fs::path> paths{{rootId_, root_}};
  for (const auto& entry : fs::recursive_directory_iterator(root_)) {
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0) continue;
    const auto found = live_.find({info.st_dev, info.st_ino});
    if (found != live_.end()) paths[found->second] = entry.path();
  }
  return paths;
}

// ---- The model.

std::string PowerCutDisk::describe(int folder, const char* name) const { return (pathOf(folder) / name).string(); }

PowerCutDisk::Id PowerCutDisk::idOf(int fd) const { return idAt(fd, ""); }

PowerCutDisk::Id PowerCutDisk::idAt(int folder, const char* name) const {
  struct stat info {};
  if (::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW | (*name == '\0' ? AT_EMPTY_PATH : 0)) != 0) return 0;
  const auto found = live_.find({info.st_dev, info.st_ino});
  return found == live_.end() ? 0 : found->second;
}

void PowerCutDisk::created(int folder, const char* name, Entry::Type type) {
  const Id parent = idOf(folder);
  struct stat info {};
  if (parent == 0 || ::fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return;
  // A new node even if the inode number was used before: what the old one
  // held may still be what the disk keeps under its old name.
  const Id id = next_++;
  live_[{info.st_dev, info.st_ino}] = id;
  durable_[id] = Node{{type, "", info.st_mode & 07777}, {}};
  if (type == Entry::Type::file) dirty_[id] = 0;
  pending_.push_back({parent, 0, name, "", id, {}, {}});
}

void PowerCutDisk::capture() {
  durable_.clear();
  live_.clear();
  pending_.clear();
  dirty_.clear();
  rootId_ = captureNode(root_);
}

PowerCutDisk::Id PowerCutDisk::captureNode(const fs::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 0;
  const Id id = next_++;
  live_[{info.st_dev, info.st_ino}] = id;
  Node node;
  node.mode = info.st_mode & 07777;
  if (S_ISDIR(info.st_mode)) {
    node.type = Entry::Type::folder;
    for (const auto& entry : fs::directory_iterator(path)) {
      if (const Id child = captureNode(entry.path())) node.entries[entry.path().filename().string()] = child;
    }
  } else if (S_ISLNK(info.st_mode)) {
    node.type = Entry::Type::link;
    node.data = fs::read_symlink(path).string();
  } else {
    node.data = readFile(path);
  }
  durable_[id] = std::move(node);
  return id;
}

std::map<PowerCutDisk::Id, std::string> PowerCutDisk::liveFiles() const {
  std::map<Id, std::string> files;
  for (const auto& [id, path] : livePaths()) {
    if (fs::is_regular_file(fs::symlink_status(path))) files[id] = readFile(path);
  }
  return files;
}

void PowerCutDisk::apply(const Change& change, Nodes& nodes) {
  nodes[change.folder].entries.erase(change.name);
  if (change.toFolder != 0) {
    nodes[change.toFolder].entries[change.toName] = change.node;
  } else if (change.node != 0) {
    nodes[change.folder].entries[change.name] = change.node;
  }
}

std::optional<PowerCutDisk::Image> PowerCutDisk::cut(int state) const {
  std::lock_guard lock(mutex_);
  Nodes nodes = durable_;
  std::mt19937_64 random(static_cast<std::uint64_t>(state) * 7919 + static_cast<std::uint64_t>(count_));
  // Between the worst and the whole: the changes of names up to some point,
  // in the order they were made, and each file's bytes lost, cut at a block
  // or whole.
  if (state == 1 && std::none_of(pending_.begin(), pending_.end(),
                                  [](const Change& change) { return change.node == 0 || change.toFolder != 0; })) {
    return std::nullopt;
  }
  if (state != 0) {
    const std::size_t kept =
        state == 1 ? pending_.size() : std::uniform_int_distribution<std::size_t>(0, pending_.size())(random);
    for (std::size_t i = 0; i < kept; ++i) apply(pending_[i], nodes);
  }
  const std::map<Id, std::string> now = state <= 1 ? std::map<Id, std::string>() : liveFiles();
  for (const auto& [id, shortest] : dirty_) {
    const auto node = nodes.find(id);
    if (node == nodes.end()) continue;
    std::string& data = node->second.data;
    const std::string worst = data.substr(0, std::min(shortest, data.size()));
    const auto current = now.find(id);
    const int pick = current == now.end() ? 0 : std::uniform_int_distribution<int>(0, 2)(random);
    if (pick == 0) {
      data = worst;
    } else if (pick == 1) {
      const std::size_t blocks = current->second.size() / 4096;
      data = current->second.substr(0, 4096 * std::uniform_int_distribution<std::size_t>(0, blocks)(random));
    } else {
      data = current->second;
    }
  }
  Image image;
  add(nodes, rootId_, "", image);
  return image;
}

void PowerCutDisk::add(const Nodes& nodes, Id id, const fs::path& path, Image& image) const {
  const auto folder = nodes.find(id);
  if (folder == nodes.end() || image.size() > 100'000) return;  // a cycle no disk has
  for (const auto& [name, child] : folder->second.entries) {
    const auto node = nodes.find(child);
    if (node == nodes.end()) continue;
    image[path / name] = node->second;
    if (node->second.type == Entry::Type::folder) add(nodes, child, path / name, image);
  }
}

void PowerCutDisk::write(const fs::path& root, const Image& image) {
  for (const auto& entry : fs::directory_iterator(root)) fs::remove_all(entry.path());
  for (const auto& [path, entry] : image) {
    const fs::path at = root / path;
    switch (entry.type) {
      case Entry::Type::folder: fs::create_directory(at); break;
      case Entry::Type::file: writeFile(at, entry.data); break;
      case Entry::Type::link: fs::create_symlink(entry.data, at); break;
    }
  }
  // Modes last, deepest first: a folder that may not be written still got its entries.
  for (auto it = image.rbegin(); it != image.rend(); ++it) {
    if (it->second.type != Entry::Type::link) ::chmod((root / it->first).c_str(), it->second.mode);
  }
}

}  // namespace nimbra::testing
