#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/host_locations.h"
#include "engine/install_error.h"
#include "engine/install_log.h"
#include "engine/operation.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/own_locations.h"
#include "engine/progress.h"
#include "engine/release_keys.h"
#include "engine/release_manifest.h"
#include "engine/rhino_conventions.h"
#include "engine/rhino_target.h"

namespace nimbra {

// The install engine's front: the release it carries, the person's folders
// it works in, and the operations that change what is installed, each one
// transaction under the install lock. Its parts, each over this engine:
// Discovery (finding Rhino), verify (engine/verification.h),
// InstalledCopies (what stands in a destination), Preflight (what must hold
// before anyone is disturbed), Recovery, Backups, LegacyCopies and the link
// guard. Its fields are fixed at creation, so it and its parts may run on
// any thread; they keep no state between operations.
class InstallEngine {
 public:
  // Reads <resources>/release.json, checks that one of keys signed exactly its
  // bytes (<resources>/release.json.sig) before decoding them, and checks the
  // version's form. Throws the read error or DecodingError unchanged, or
  // InstallError "This installer was changed after it was built. Download it
  // again from the vendor." (a missing, malformed or wrong signature) or "The
  // installer version is invalid." (ErrorKind::invalidVersion). fm must
  // outlive the engine.
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
  const HostLocations& host() const { return host_; }

  // <home>/Library/Application Support/Nimbra.
  std::filesystem::path support() const;
  // <home>/Library/Application Support/McNeel/Rhinoceros/packages/<major>.0.
  std::filesystem::path standardRoot(std::int64_t major) const;

  // Called synchronously on the installing thread as each step begins, with
  // which step it is of how many: an interrupted install's recovery first
  // is counted in the same total.
  using Progress = nimbra::Progress;

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

  // Recovery on its own, under the install lock (for the command line):
  // nothing to do without a support folder. Throws as InstallLock and
  // Recovery::recoverInterrupted do.
  void recover(const Progress& progress) const;

 private:
  std::filesystem::path transact(Operation operation, const std::vector<RhinoTarget>& targets,
                                 const std::optional<std::vector<std::filesystem::path>>& legacyRoots,
                                 const Progress& progress,
                                 const std::optional<std::filesystem::path>& restoreFrom = std::nullopt) const;

  FileManager& fm_;
  HostLocations host_;
  std::filesystem::path home_;
  std::filesystem::path resources_;
  Release release_;
  InstallLog log_;
};

}  // namespace nimbra
