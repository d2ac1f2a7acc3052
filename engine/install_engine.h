#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/host_locations.h"
#include "engine/install_error.h"
#include "engine/install_log.h"
#include "engine/install_receipt.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"
#include "engine/release_keys.h"
#include "engine/release_manifest.h"
#include "engine/rhino_conventions.h"
#include "engine/rhino_target.h"

namespace nimbra {

class FileLock;

// What a transaction does with its targets: install the release, take the
// installed copies away into the backup folder, or put back what an earlier
// backup folder holds.
enum class Operation { install, uninstall, restore };

// The install engine: every operation that is not drawing. Its fields are
// fixed at creation, so its operations may run on any thread; it keeps no
// state between them.
class InstallEngine {
 public:
  // Reads <resources>/release.json, checks that one of keys signed exactly its
  // bytes (<resources>/release.json.sig) before decoding them, and checks the
  // version's form. Throws the read error or DecodingError unchanged, or
  // InstallError "This installer was changed after it was built. Download it
  // again from the vendor." (a missing, malformed or wrong signature) or "The
  // installer version is invalid." fm must outlive the engine.
  InstallEngine(std::filesystem::path resources, std::filesystem::path home, FileManager& fm,
                HostLocations host = {}, const ReleaseKeys& keys = builtInReleaseKeys());
  InstallEngine(std::filesystem::path resources, std::filesystem::path home)
      : InstallEngine(std::move(resources), std::move(home), FileManager::standard()) {}
  explicit InstallEngine(std::filesystem::path resources) : InstallEngine(std::move(resources), homeFolder()) {}

  static constexpr std::string_view pluginID() { return rhino::kPluginID; }

  // True when a process with this id exists and has not ended (an unreaped
  // zombie has); never signals 0 or below.
  static bool isProcessRunning(pid_t pid);

  // Runs executable (an absolute location, no shell) with exactly arguments
  // and returns its standard output and standard error, interleaved, with
  // ill-formed UTF-8 replaced by U+FFFD. Blocks the calling thread, polling
  // every 50 ms. Throws the platform's launch error unchanged; InstallError
  // "The application did not respond. Close Rhino and try again." after
  // timeout seconds (the child is sent SIGTERM and not waited for); or
  // InstallError with the trimmed output when the exit status is not 0.
  static std::string run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                         double timeout = 10.0);

  const Release& release() const { return release_; }
  // The install log, <support>/Logs/install.log; installs, uninstalls and
  // recoveries write to it, and so may whoever drives them.
  const InstallLog& log() const { return log_; }
  const std::filesystem::path& home() const { return home_; }
  const std::filesystem::path& resources() const { return resources_; }
  FileManager& fileManager() const { return fm_; }

  // <home>/Library/Application Support/Nimbra.
  std::filesystem::path support() const;
  // <home>/Library/Application Support/McNeel/Rhinoceros/packages/<major>.0.
  std::filesystem::path standardRoot(std::int64_t major) const;

  // ---- Discovery

  // The Rhino 7 and 8 installations of the machine: the application folders
  // below /Applications and ~/Applications (to depth 4), Spotlight's finds and
  // the running applications, examined at once, sorted by major and then by
  // application path (NFC). Never fails; blocks while the tools run.
  std::vector<RhinoTarget> discover() const;

  // Whether a target's package folder is asked of the bundle's yak (8 s at
  // most), or taken to be the standard one (to recognise a running Rhino).
  enum class PackageRoot { askYak, standard };
  // The target for one application folder, or nothing when it is not a Rhino 7
  // or 8. Never fails.
  std::optional<RhinoTarget> target(const std::filesystem::path& application,
                                    PackageRoot packageRoot = PackageRoot::askYak) const;

  // ---- Verification

  // Succeeds when folder holds exactly the package's files, byte for byte.
  // Throws InstallError (empty package, invalid path, damaged file, unexpected
  // files), the rejectLinks error, or the platform's read error, first failure
  // in manifest order. Changes nothing.
  void verify(const PayloadPackage& package, const std::filesystem::path& folder) const;

  // What verify would refuse first: the file (its path in the package; for a
  // file that is not in the manifest, its path in the folder, "" when it
  // cannot be told) and the error verify throws for it.
  struct Difference {
    std::string path;
    std::exception_ptr error;
  };
  // FinderFiles::passedBy: the Finder's own files (isFinderFile) in folder
  // are no difference, as in an installed copy someone opened in the Finder.
  enum class FinderFiles { refused, passedBy };
  std::optional<Difference> difference(const PayloadPackage& package, const std::filesystem::path& folder,
                                       FinderFiles finderFiles = FinderFiles::refused) const;

  // ---- What is installed

  // The copy in a target's destination against this release. Changes
  // nothing, takes no lock. Never throws.
  struct InstalledCopy {
    enum class State { notInstalled, upToDate, older, newer, changed };
    State state = State::notInstalled;
    std::string version;  // as its manifest.txt says; "" when not installed or unreadable
    std::string changed;  // with State::changed: the first file that differs
  };
  InstalledCopy installedCopy(const RhinoTarget& target) const;

  // The version that the target's installed copy says it is (its
  // manifest.txt), read alone: nothing verified, so a listing stays quick
  // whatever is installed. Nothing when nothing is installed, "unknown" when
  // it cannot be read. Never throws.
  std::optional<std::string> installedVersion(const RhinoTarget& target) const;

  // The first version folder listed in destination (a name, not hidden, that
  // begins with three runs of digits) whose version is above this release's:
  // the one evidence of a newer install, for the transaction's refusal and
  // installedCopy alike. Throws when destination cannot be listed.
  std::optional<std::string> newerVersionIn(const std::filesystem::path& destination) const;

  // "This backup has been restored already: <folder>"
  static std::string restoredAlready(const std::filesystem::path& backupFolder);
  // "A newer Nimbra version is already installed for Rhino <major>."
  static std::string newerVersionInstalled(std::int64_t major);

  // Whether another process holds the install lock now: a probe, released at
  // once, that creates nothing. Never throws.
  bool anotherInstallationRunning() const;

  // ---- The install transaction and recovery

  // Called synchronously on the installing thread with each progress text.
  using Progress = std::function<void(const std::string&)>;

  // Installs the release into every target as one transaction under the
  // install lock: recovers an interrupted install first, stages and verifies
  // a copy beside each destination, moves earlier copies into a new backup
  // folder under a write-ahead receipt, deploys each with one rename, and
  // rolls everything back on failure. Returns the backup folder. Throws
  // InstallError with the user's sentence, or the failing step's error
  // unchanged. Without legacyRoots, legacyRoots() and the targets' package
  // roots are scanned.
  std::filesystem::path install(const std::vector<RhinoTarget>& targets,
                                const std::optional<std::vector<std::filesystem::path>>& legacyRoots,
                                const Progress& progress) const;

  // Moves every target's installed copy, and the older copies the legacy
  // scan finds, into a new backup folder, under the install lock and the same
  // write-ahead receipt as an install, so nothing is deleted and a cut-off
  // uninstall is recovered like an install; rolls back on failure. Refuses a
  // destination that holds no product file. Returns the backup folder.
  std::filesystem::path uninstall(const std::vector<RhinoTarget>& targets, const Progress& progress) const;

  // Puts back at their places the items that backupFolder (a folder directly
  // in Backups whose receipt says "complete") holds, after moving what stands
  // there now into a new backup folder: one transaction under the install
  // lock and a write-ahead receipt, rolled back on failure and recovered like
  // an install when cut off. targets: the Rhinos whose package roots the
  // receipt may name. Returns the new backup folder. Throws as install does,
  // or InstallError when the backup cannot be restored.
  std::filesystem::path restore(const std::filesystem::path& backupFolder, const std::vector<RhinoTarget>& targets,
                                const Progress& progress) const;
  // The receipt of a folder directly in Backups, read but not checked; throws
  // InstallError "There is no backup of Nimbra to restore at <folder>."
  InstallReceipt backupReceipt(const std::filesystem::path& backupFolder) const;
  // The receipt of a backup folder that restore would accept, read and
  // checked; changes nothing. Throws restore's refusals.
  InstallReceipt restorableReceipt(const std::filesystem::path& backupFolder,
                                   const std::vector<RhinoTarget>& targets) const;
  // The newest backup folder whose receipt says "complete" and that holds an
  // earlier copy (a first install's holds none); nothing when there is none.
  std::optional<std::filesystem::path> newestCompleteBackup() const;
  // The backup folders (not hidden, with a receipt) from the oldest to the
  // newest: by the time their names begin with, then, within one second, by
  // when their receipt was last written.
  std::vector<std::filesystem::path> backupFoldersByAge() const;

  // Recovery on its own, under the install lock (for the command line):
  // nothing to do without a support folder. Throws as install's lock step
  // and recoverInterrupted do.
  void recover(const Progress& progress) const;

  // Removes, under the install lock, the oldest backup folders whose receipt
  // says "complete" or "restored", beyond the newest keep of them; never one
  // that recovery may need ("installing", "recovery-required", "preparing")
  // or whose receipt cannot be read. Each folder is set aside in one step
  // before it is removed, and logged. Returns the folders removed. Throws
  // InstallError when another installation holds the lock, or the platform's
  // error.
  std::vector<std::filesystem::path> pruneBackups(std::size_t keep, const Progress& progress) const;

  // Undoes every install that was cut off (receipt "installing" or
  // "recovery-required"), after proving that what is on disk is exactly what
  // such an install leaves and that the receipt names only places this
  // installer writes: destinations in the standard package roots, those of
  // targets or those discovery finds, older copies where the legacy scan
  // looks, backups in the receipt's own folder. Refuses otherwise with a
  // message naming the backup folder (an unreadable receipt: naming the
  // file), having changed nothing for that receipt. REQUIRES: the install
  // lock is held.
  void recoverInterrupted(const Progress& progress, const std::vector<RhinoTarget>& targets = {}) const;

  // Refuses, changing nothing, an operation whose changes this process could
  // not make: a home path that is not valid UTF-8 (no receipt can record
  // it), or a folder it changes (each target's package root, or what exists
  // of it, and the support folder) that it may not change (permission, a
  // disk that can only be read). Throws what the first such change would.
  void checkChangeable(Operation operation, const std::vector<RhinoTarget>& targets) const;

  // Makes every check recoverInterrupted makes, changing nothing: throws what
  // it would refuse with. Takes no lock; for refusing before anyone is
  // disturbed.
  void checkRecoverable(const std::vector<RhinoTarget>& targets) const;

  // ---- Legacy copies and the link guard

  // Grasshopper's fixed library folders, then every absolute folder that its
  // settings files list. Never fails; may hold duplicates and missing folders.
  std::vector<std::filesystem::path> legacyRoots() const;

  // The product's .gha files under roots, each once, sorted by path text.
  // Throws InstallError for a link inside a root, the rejectLinks error for a
  // root reached through a link, or the walk's file-system error.
  std::vector<std::filesystem::path> scanLegacy(const std::vector<std::filesystem::path>& roots) const;

  // True when file is a .gha (any case) of fewer than 30,000,000 bytes that
  // holds the plug-in identifier as UTF-16LE.
  static bool isNimbra(const std::filesystem::path& file);

  // Throws InstallError "Choose a folder without symbolic links: <link>" for
  // the innermost symbolic link on the way from url up to "/" ("/tmp" and
  // "/var" pointing at "private/tmp" and "private/var" excepted).
  void rejectLinks(const std::filesystem::path& url) const;

 private:
  // Throws InstallError when lock is held by another process ("Another Nimbra
  // installation is already running.") or could not be opened.
  void requireLock(const FileLock& lock) const;
  // Locations (with their parents) one operation found free of links, for its threads.
  class LinkMemo {
   public:
    bool contains(const std::string& path);
    void insert(const std::vector<std::string>& paths);

   private:
    std::mutex mutex_;
    std::unordered_set<std::string> clean_;
  };

  void rejectLinks(const std::filesystem::path& url, LinkMemo* memo) const;
  std::filesystem::path transact(Operation operation, const std::vector<RhinoTarget>& targets,
                                 const std::optional<std::vector<std::filesystem::path>>& legacyRoots,
                                 const Progress& progress,
                                 const std::optional<std::filesystem::path>& restoreFrom = std::nullopt) const;
  void checkFile(const PayloadFile& file, const std::filesystem::path& folder, LinkMemo& memo) const;
  std::vector<RhinoTarget> examine(const std::vector<std::filesystem::path>& candidates) const;
  void checkInterrupted(const std::filesystem::path& entry, const InstallReceipt& receipt,
                        const std::vector<std::string>& deploys) const;
  // Runs action on every receipt of an interrupted install, in listing order, once checked.
  using InterruptedAction = std::function<void(const std::filesystem::path& entry, InstallReceipt& receipt,
                                               const std::vector<std::string>& deploys)>;
  void forEachInterrupted(const std::vector<RhinoTarget>& targets, const InterruptedAction& action) const;
  // The package roots a receipt may name: the standard root of each major of
  // the release, and the roots of targets of those majors.
  std::vector<std::filesystem::path> packageRoots(const std::vector<RhinoTarget>& targets) const;
  bool staysInPlaces(const std::filesystem::path& entry, const InstallReceipt& receipt,
                     const std::vector<std::filesystem::path>& roots) const;
  void checkPlaces(const std::filesystem::path& entry, const InstallReceipt& receipt,
                   const std::vector<RhinoTarget>& targets) const;
  void checkDeployed(const std::filesystem::path& entry, const std::string& version,
                     const std::filesystem::path& deployed) const;

  FileManager& fm_;
  HostLocations host_;
  std::filesystem::path home_;
  std::filesystem::path resources_;
  Release release_;
  InstallLog log_;
};

}  // namespace nimbra
