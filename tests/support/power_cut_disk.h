#pragma once

// The disk as a power cut leaves it, at its worst that POSIX allows: bytes
// written to a file survive once that file is fsynced, until then they may be
// lost or cut at any block; a name created, renamed or removed survives once
// its folder has been fsynced (a rename once both of its folders have, in one
// piece); syncfs makes all of it on its file system durable. Everything below
// the root when the model is made counts as durable. In a build of the Mac's
// half, the Mac's disk: a plain fsync (sendToDrive) only reaches the drive's
// cache, which a cut loses until a full flush (fsync, F_FULLFSYNC there)
// anywhere on that volume; copies are clones, and there is no copy in the
// kernel.
//
// It stands between the engine and the disk as its SystemCalls: it numbers
// every call, can fail one with an errno, and tells, before any call, what a
// power cut there would leave of the disk below the root. The real fsync and
// syncfs are never made: the model alone decides what survives. (Links the
// engine makes, which no payload holds, are not modelled.)

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "engine/platform/system_calls.h"

namespace nimbra::testing {

class PowerCutDisk : public SystemCalls {
 public:
  explicit PowerCutDisk(std::filesystem::path root);

  // A disk below the root, entry by entry: relative paths, each folder
  // before what it holds.
  struct Entry {
    enum class Type { file, folder, link } type = Type::file;
    std::string data;  // a file's bytes, a link's target
    mode_t mode = 0644;
  };
  using Image = std::map<std::filesystem::path, Entry>;

  // What a power cut now could leave below the root. State 0 is the worst;
  // in state 1 every change of names made survives (a removal or a rename
  // not yet made durable, and what it needs) while unsynced bytes are lost;
  // any other state is drawn from that number and the calls made so far,
  // between the worst and the disk as it stands. Nothing in state 1 while no
  // removal or rename waits: its disk would be state 0's.
  std::optional<Image> cut(int state) const;
  // Makes the disk below root hold exactly what image holds.
  static void write(const std::filesystem::path& root, const Image& image);

  // Call n fails with error and changes nothing.
  void failAt(int n, int error) { failures_[n] = error; }
  // Runs before each call with its number and what it does ("rename <from>
  // -> <to>"); a non-zero result fails the call with that errno.
  void beforeCall(std::function<int(int n, const std::string& call)> hook) { hook_ = std::move(hook); }
  // Everything below folder lies on a file system of its own: a rename in or
  // out of it fails with EXDEV, and syncfs makes durable only what lies on
  // the file system it is called for.
  void setSecondVolume(std::filesystem::path folder) { second_ = std::move(folder); }

  int calls() const { return count_; }
  const std::vector<std::string>& log() const { return log_; }

  int openAt(int folder, const char* name, int flags, mode_t mode) override;
  ssize_t write(int fd, const void* bytes, std::size_t length) override;
  int fsync(int fd) override;
  int sendToDrive(int fd) override;
  int cloneFileAt(int from, int folder, const char* name) override;
  int renameAt(int fromFolder, const char* from, int toFolder, const char* to, unsigned flags) override;
  int mkdirAt(int folder, const char* name, mode_t mode) override;
  int unlinkAt(int folder, const char* name, int flags) override;
  ssize_t copyFileRange(int from, int to, std::size_t length) override;
  int syncfs(int fd) override;
  unsigned concurrency() const override { return 1; }

 private:
  using Id = std::uint64_t;
  struct Node : Entry {
    std::map<std::string, Id> entries;  // a folder's names
  };
  using Nodes = std::map<Id, Node>;
  // A change of names not yet durable.
  struct Change {
    Id folder = 0, toFolder = 0;  // toFolder: a rename's
    std::string name, toName;
    Id node = 0;                  // linked, or renamed; 0 for a removal
    std::set<Id> synced;          // its folders fsynced since
    std::set<Id> sent;            // its folders sent to a Mac's drive since, not yet flushed
    bool ready() const;
  };

  // Numbers the call; fails it (returns true, errno set) or cuts the power.
  bool intercept(const std::string& call);
  std::string describe(int folder, const char* name) const;
  Id idOf(int fd) const;
  Id idAt(int folder, const char* name) const;
  void created(int folder, const char* name, Entry::Type type);
  void capture();
  Id captureNode(const std::filesystem::path& path);
  std::map<Id, std::string> liveFiles() const;
  // Every node below the root as it stands now, by its path.
  std::map<Id, std::filesystem::path> livePaths() const;
  bool onSecondVolume(const std::filesystem::path& path) const;
  // Whether node id, found in paths, lies on the second volume (second) or the first.
  bool onVolume(const std::map<Id, std::filesystem::path>& paths, Id id, bool second) const {
    const auto found = paths.find(id);
    return found != paths.end() && onSecondVolume(found->second) == second;
  }
  void syncVolume(bool second);
  // A Mac's full flush: what was sent to the drive from that volume is durable.
  void flushDrive(bool second);
  void applyReady();
  static void apply(const Change& change, Nodes& nodes);
  void add(const Nodes& nodes, Id id, const std::filesystem::path& path, Image& image) const;

  std::filesystem::path root_;
  std::filesystem::path second_;
  mutable std::recursive_mutex mutex_;
  Nodes durable_;
  Id rootId_ = 0;
  Id next_ = 1;
  std::map<std::pair<dev_t, ino_t>, Id> live_;
  std::vector<Change> pending_;
  std::map<Id, std::size_t> dirty_;  // file -> its shortest length since its last fsync
  std::map<Id, std::string> sent_;   // a file's bytes in a Mac's drive cache
  int count_ = 0;
  std::map<int, int> failures_;
  std::function<int(int, const std::string&)> hook_;
  std::vector<std::string> log_;
};

}  // namespace nimbra::testing
