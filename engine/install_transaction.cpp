#include "engine/install_transaction.h"

#include <algorithm>

#include "engine/cross_volume_move.h"
#include "engine/failure_text.h"
#include "engine/backups.h"
#include "engine/free_space.h"
#include "engine/installed_copy.h"
#include "engine/legacy_copies.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/regex.h"
#include "engine/receipt_undo.h"
#include "engine/staging_folders.h"
#include "engine/verification.h"
#include "engine/version_compare.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

const PayloadPackage& requirePackage(const Release& release, std::int64_t major) {
  const PayloadPackage* package = packageFor(release, major);
  if (package == nullptr) throw InstallError("This installer does not contain Rhino " + std::to_string(major) + ".");
  return *package;
}

}  // namespace

InstallTransaction::InstallTransaction(const InstallEngine& engine, Operation operation,
                                       const std::vector<RhinoTarget>& targets, fs::path backupFolder,
                                       std::vector<fs::path> legacyItems, StepCounter& steps, bool cleanUpCounted)
    : engine_(engine),
      operation_(operation),
      fm_(engine.fileManager()),
      targets_(targets),
      steps_(steps),
      cleanUpCounted_(cleanUpCounted),
      backupFolder_(std::move(backupFolder)),
      legacyItems_(std::move(legacyItems)) {
  receipt_.version = engine.release().version;
  receipt_.state = receipt_state::kPreparing;
  for (const RhinoTarget& target : targets) receipt_.destinations.push_back(pathText(target.destination()));
}

bool InstallTransaction::hasLeftovers(const InstallEngine& engine, const std::vector<RhinoTarget>& targets) {
  return !leftovers(engine, targets).empty();
}

std::size_t InstallTransaction::steps(Operation operation, std::size_t count, bool cleanUp) {
  const std::size_t first = cleanUp ? 1 : 0;
  switch (operation) {
    case Operation::install: return first + 2 * count + 1;
    case Operation::uninstall: return first + count + 1;
    case Operation::restore: break;
  }
  return first + 2;
}

void InstallTransaction::restoreFrom(const fs::path& folder) {
  restored_ = Backups(engine_).restorableReceipt(folder, targets_);
  restoreFolder_ = location(folder);
  receipt_.destinations = restored_.destinations;
}

void InstallTransaction::run() {
  try {
    removeLeftovers();
    if (operation_ == Operation::restore) {
      commitRestore();
      return;
    }
    if (operation_ == Operation::install) {
      requireFreeSpace(fm_, engine_.release(), targets_);
      for (const RhinoTarget& target : targets_) stage(target);
      syncStaged();
    } else {
      for (const RhinoTarget& target : targets_) checkRecognised(target.destination());
    }
    commit();
  } catch (...) {
    rollBack(std::current_exception());
  }
  removeStaged();
}

std::vector<fs::path> InstallTransaction::leftovers(const InstallEngine& engine,
                                                   const std::vector<RhinoTarget>& targets) {
  std::vector<fs::path> found;
  for (const RhinoTarget& target : targets) {
    try {
      rejectLinks(engine.fileManager(), target.packageRoot);
    } catch (const InstallError&) {
      continue;
    }
    for (fs::path& folder : stagingFoldersIn(engine.fileManager(), target.packageRoot)) found.push_back(std::move(folder));
  }
  return found;
}

void InstallTransaction::removeLeftovers() {
  // Staging folders of installs that were cut off, and folders whose removal
  // was: under the lock, no other install owns one. Counted before recovery
  // ran, which may have taken them away itself.
  const std::vector<fs::path> found = leftovers(engine_, targets_);
  if (found.empty()) {
    if (cleanUpCounted_) steps_.pass();
    return;
  }
  steps_.begin("Cleaning up an interrupted installation…");
  for (const fs::path& folder : found) {
    try {
      fm_.removeItem(folder);
      engine_.log().write("Removed a folder left by an interrupted installation: " + pathText(folder));
    } catch (const fs::filesystem_error&) {
      // Still hidden and recognised: the next install tries again.
    }
  }
}

void InstallTransaction::stage(const RhinoTarget& target) {
  const Release& release = engine_.release();
  const PayloadPackage& package = requirePackage(release, target.major);
  rejectLinks(fm_, target.packageRoot);
  const fs::path payload = engine_.resources() / package.directory;
  steps_.begin("Checking Rhino " + std::to_string(target.major) + " files…");
  verify(fm_, package, payload);

  const fs::path destination = target.destination();
  if (fm_.fileExists(destination)) checkExistingDestination(target, destination);

  const fs::path root = location(target.packageRoot);
  fm_.createDirectory(root, Intermediates::yes);
  const fs::path staging = newStagingFolder(root);
  staged_.push_back(staging);
  fm_.createDirectory(staging, Intermediates::no);
  fm_.copyItem(payload, staging / release.version);
  verify(fm_, package, staging / release.version);
  fm_.writeAtomically(staging / rhino::kManifestName, release.version + "\n");
}

void InstallTransaction::syncStaged() {
  // The staged bytes reach the disk before any receipt announces their deploy.
  fm_.makeCopiesDurable(staged_);
}

void InstallTransaction::checkRecognised(const fs::path& destination) {
  rejectLinks(fm_, destination);
  if (fm_.fileExists(destination) && LegacyCopies(engine_).scanLegacy({destination}).empty()) {
    throw InstallError("The destination contains an unrecognized package: " + pathText(destination));
  }
}

void InstallTransaction::checkExistingDestination(const RhinoTarget& target, const fs::path& destination) {
  checkRecognised(destination);
  if (InstalledCopies(engine_).newerVersionIn(destination)) {
    throw InstallError(InstalledCopies::newerVersionInstalled(target.major));
  }
}

void InstallTransaction::commit() {
  receipt_.state = receipt_state::kInstalling;
  write();
  const bool installing = operation_ == Operation::install;
  steps_.begin(installing ? "Backing up the previous installation…" : "Moving Nimbra into a backup folder…");
  for (const fs::path& item : legacyItems_) keep(item);
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    const fs::path destination = targets_[i].destination();
    if (!installing) steps_.begin("Removing Nimbra for Rhino " + std::to_string(targets_[i].major) + "…");
    if (fm_.fileExists(destination)) keep(destination);
    if (installing) deploy(i);
  }
  receipt_.state = receipt_state::kComplete;
  write();
}

void InstallTransaction::deploy(std::size_t i) {
  const Release& release = engine_.release();
  const RhinoTarget& target = targets_[i];
  const fs::path destination = target.destination();
  steps_.begin("Installing Nimbra for Rhino " + std::to_string(target.major) + "…");
  receipt_.deploying.push_back(pathText(destination));
  write();
  // Staging folder and destination share the package root: one rename, so
  // the destination appears complete or not at all.
  rejectLinks(fm_, destination);
  try {
    fm_.moveItem(staged_[i], destination);
  } catch (...) {
    // The rename may have happened before the flush after it failed: then
    // the roll-back has a deploy to take away.
    if (!fm_.fileExists(staged_[i]) && fm_.fileExists(destination)) deployed_.push_back(destination);
    throw;
  }
  deployed_.push_back(destination);
  verify(fm_, requirePackage(release, target.major), destination / release.version);
  engine_.log().write("Installed Nimbra " + release.version + " for Rhino " + std::to_string(target.major) + " into " +
                      pathText(destination));
}

void InstallTransaction::commitRestore() {
  receipt_.state = receipt_state::kInstalling;
  write();
  steps_.begin("Backing up the present installation…");
  for (const BackupItem& item : restored_.backups) {
    if (fm_.fileExists(item.original)) keep(item.original);
  }
  steps_.begin("Restoring the backup…");
  for (const BackupItem& item : restored_.backups) putBack(item);
  receipt_.state = receipt_state::kComplete;
  write();
  // Its items are back in place: the earlier backup is restored. Its record
  // is only kept up to date; what is on disk no longer depends on it.
  try {
    restored_.state = receipt_state::kRestored;
    writeReceipt(fm_, restoreFolder_, restored_);
  } catch (const std::exception& error) {
    engine_.log().write(describe(error));
  }
}

void InstallTransaction::write() { writeReceipt(fm_, backupFolder_, receipt_); }

void InstallTransaction::rollBack(std::exception_ptr failure) {
  // Undo everything that can be undone; a failure here never stops the rest.
  // Never back through a link planted since: the item then stays saved.
  const std::vector<std::string> problems =
      undoReceipt(fm_, engine_.log(), receipt_, deployed_, [this] { write(); },
                  {.name = "Roll-back", .copies = "new", .keepGoing = true,
                   .beforeReturn = [this](const fs::path& place) { rejectLinks(fm_, place); }});
  receipt_.state = problems.empty() ? receipt_state::kRestored : receipt_state::kRecoveryRequired;
  try {
    write();
  } catch (...) {
    // The receipt on disk keeps its previous state; recovery acts on that.
  }
  removeStaged();
  if (problems.empty()) std::rethrow_exception(failure);
  std::string message = "Installation stopped. Restore the saved files from " + pathText(backupFolder_) + ".";
  for (const std::string& problem : problems) message += " " + problem;
  throw IncompleteRollBack(message);
}

void InstallTransaction::removeStaged() {
  for (const fs::path& staging : staged_) {
    try {
      if (fm_.fileExists(staging)) fm_.removeItem(staging);
    } catch (...) {
      // A staging folder left behind is hidden and harmless.
    }
  }
}

}  // namespace nimbra
