#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/platform/system_calls.h"

namespace nimbra {

enum class Intermediates { no, yes };

// True when the last component begins with "." (hidden, and "." and "..").
bool isHiddenName(const std::filesystem::path& path);
// True for the Finder's own files, which it writes into any folder a person
// opens in it (.DS_Store) or on a volume without extended attributes (an
// AppleDouble "._" file beside each file): never part of a package.
bool isFinderFile(const std::filesystem::path& path);

enum class Hidden { include, skip };
// Whether a read may pass a symbolic link on its way: the engine's own reads
// refuse them (ELOOP), so a folder swapped for a link after a check cannot
// make them read a file elsewhere.
enum class Links { refuse, follow };

// One entry met by FileManager::walk.
struct WalkEntry {
  std::filesystem::path path;      // root + relative
  std::filesystem::path relative;  // as a recursive listing spells it: "a/b.txt"
  int depth = 0;                   // 1 for a root's direct children
  bool isSymbolicLink = false;     // the entry itself, links not followed
  bool isDirectory = false;        // the entry itself, links not followed
  bool isRegularFile = false;      // the entry itself, links not followed
};

// The file system that holds a path: its device, its block size and the
// bytes it has free for the user.
struct FileSystemSpace {
  dev_t device = 0;
  std::uint64_t blockSize = 0;
  std::uint64_t available = 0;
};

// Every file-system operation of the engine goes through one FileManager. Its
// changes are made through SystemCalls, so a test can fail, log or cut the
// power at any of them.
//
// Failures are thrown as std::filesystem::filesystem_error carrying the real
// errno and the paths involved. Every descriptor is opened close-on-exec.
class FileManager {
 public:
  explicit FileManager(SystemCalls& calls = SystemCalls::real()) : calls_(calls) {}
  virtual ~FileManager() = default;

  // The process-wide instance.
  static FileManager& standard();

  // ---- Queries: they never change anything.

  // True when something exists at path, following symbolic links.
  virtual bool fileExists(const std::filesystem::path& path) const;
  // A folder, following symbolic links.
  virtual bool isDirectory(const std::filesystem::path& path) const;
  // Whether path itself is a symbolic link. Throws when it cannot be examined.
  virtual bool isSymbolicLink(const std::filesystem::path& path) const;
  // A regular file, not through a link. False when it cannot be examined.
  virtual bool isRegularFile(const std::filesystem::path& path) const;
  // A file (not a folder) that the user may execute, following links.
  virtual bool isExecutableFile(const std::filesystem::path& path) const;
  // The names in a folder, hidden ones included, in no particular order. A
  // link on the way fails with ELOOP.
  virtual std::vector<std::string> contentsOfDirectory(const std::filesystem::path& path) const;
  virtual std::filesystem::path destinationOfSymbolicLink(const std::filesystem::path& path) const;
  // Streams the file's bytes to sink in blocks; returns the number of bytes.
  // A folder or a missing file throws.
  virtual std::uint64_t readFile(const std::filesystem::path& path, const std::function<void(std::string_view)>& sink,
                                 Links links = Links::refuse) const;
  // Reads the whole file; throws filesystem_error(EFBIG) past maxBytes.
  std::string readWholeFile(const std::filesystem::path& path, std::size_t maxBytes = 64u << 20,
                            Links links = Links::refuse) const;
  // The file's size, following links; throws when it cannot be examined.
  virtual std::uint64_t fileSize(const std::filesystem::path& path) const;
  // The space of the file system that holds path, or would hold it (that of
  // the nearest folder on the way that exists); nothing when it cannot be
  // examined.
  virtual std::optional<FileSystemSpace> spaceFor(const std::filesystem::path& path) const;

  // Whether this process may make and remove entries in the folder at path,
  // or in the nearest folder on the way that exists when it does not: 0, or
  // the error such a change would fail with (EACCES, EROFS, ...).
  virtual int changeRefusal(const std::filesystem::path& path) const;

  // Walks below root, depth first, never following links below it (links
  // says whether the way to root may pass one). visit returns false to skip
  // an entry's children. onError gets each folder that cannot be read and
  // returns false to stop the walk. Returns false only when the root itself
  // cannot be opened.
  using Visitor = std::function<bool(const WalkEntry&)>;
  using ErrorHandler = std::function<bool(const std::filesystem::filesystem_error&)>;
  virtual bool walk(const std::filesystem::path& root, Hidden hidden, const Visitor& visit, const ErrorHandler& onError,
                    Links links = Links::refuse) const;

  // ---- Mutations, each made through calls().

  // With Intermediates::yes an existing folder is success; with ::no it fails
  // with EEXIST. Every folder made is made durable in its parent.
  void createDirectory(const std::filesystem::path& path, Intermediates intermediates);
  // Replaces path whole: a temporary file beside it, fsync, rename over it,
  // fsync of the folder. A reader after a crash sees the old or the new bytes.
  void writeAtomically(const std::filesystem::path& path, std::string_view bytes);
  // Adds bytes at the end of the file at path, creating it if missing. Not
  // flushed: for records whose loss in a crash costs nothing.
  void appendToFile(const std::filesystem::path& path, std::string_view bytes);
  // Moves in one rename, never replacing: fails with EEXIST if anything is at
  // to, and with EXDEV across file systems (a move there takes steps that
  // only the caller can record).
  void moveItem(const std::filesystem::path& from, const std::filesystem::path& to);
  // Recursive copy; fails if to exists. Links are copied as links. Nothing of
  // it is made durable here: see makeCopiesDurable.
  void copyItem(const std::filesystem::path& from, const std::filesystem::path& to);
  // Recursive removal; a link is removed, never followed. Fails if nothing is there.
  void removeItem(const std::filesystem::path& path);
  // Makes what copyItem made at each of copies durable, every file's bytes
  // and every name, the copy's own name in its folder included, on the disk
  // itself. On Linux one syncfs for each file system they lie on, which
  // costs less than a flush per file; on a Mac (no syncfs, and an fsync that
  // stops at the drive's cache) each file and folder sent to the drive, then
  // one full flush per volume.
  void makeCopiesDurable(const std::vector<std::filesystem::path>& copies);

  SystemCalls& calls() const { return calls_; }

 private:
  SystemCalls& calls_;
};

// Throws filesystem_error for errno with the operation and path(s).
[[noreturn]] void throwFileError(const char* operation, const std::filesystem::path& path, int error);
[[noreturn]] void throwFileError(const char* operation, const std::filesystem::path& from,
                                 const std::filesystem::path& to, int error);

}  // namespace nimbra
