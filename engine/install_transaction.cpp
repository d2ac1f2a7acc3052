#include "engine/install_transaction.h"

#include <algorithm>

#include "engine/cross_volume_move.h"
#include "engine/failure_text.h"
#include "engine/free_space.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"
#include "engine/platform/regex.h"
#include "engine/receipt_undo.h"
#include "engine/staging_folders.h"
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
                                       std::vector<fs::path> legacyItems, const InstallEngine::Progress& progress)
    : engine_(engine),
      operation_(operation),
      fm_(engine.fileManager()),
      targets_(targets),
      progress_(progress),
      backupFolder_(std::move(backupFolder)),
      legacyItems_(std::move(legacyItems)) {
  receipt_.version = engine.release().version;
  receipt_.state = receipt_state::kPreparing;
  for (const RhinoTarget& target : targets) receipt_.destinations.push_back(pathText(target.destination()));
}

void InstallTransaction::restoreFrom(const fs::path& folder) {
  restored_ = engine_.restorableReceipt(folder, targets_);
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

void InstallTransaction::removeLeftovers() {
  // Staging folders of installs that were cut off, and folders whose removal
  // was: under the lock, no other install owns one. A root reached through a
  // link is left to staging, which refuses it.
  std::vector<fs::path> leftovers;
  for (const RhinoTarget& target : targets_) {
    try {
      engine_.rejectLinks(target.packageRoot);
    } catch (const InstallError&) {
      continue;
    }
    for (fs::path& folder : stagingFoldersIn(fm_, target.packageRoot)) leftovers.push_back(std::move(folder));
  }
  if (leftovers.empty()) return;
  progress_("Cleaning up an interrupted installation…");
  for (const fs::path& folder : leftovers) {
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
  engine_.rejectLinks(target.packageRoot);
  const fs::path payload = engine_.resources() / package.directory;
  progress_("Checking Rhino " + std::to_string(target.major) + " files…");
  engine_.verify(package, payload);

  const fs::path destination = target.destination();
  if (fm_.fileExists(destination)) checkExistingDestination(target, destination);

  const fs::path root = location(target.packageRoot);
  fm_.createDirectory(root, Intermediates::yes);
  const fs::path staging = newStagingFolder(root);
  staged_.push_back(staging);
  fm_.createDirectory(staging, Intermediates::no);
  fm_.copyItem(payload, staging / release.version);
  engine_.verify(package, staging / release.version);
  fm_.writeAtomically(staging / rhino::kManifestName, release.version + "\n");
}

void InstallTransaction::syncStaged() {
  // The staged bytes reach the disk before any receipt announces their deploy.
  fm_.makeCopiesDurable(staged_);
}

void InstallTransaction::checkRecognised(const fs::path& destination) {
  engine_.rejectLinks(destination);
  if (fm_.fileExists(destination) && engine_.scanLegacy({destination}).empty()) {
    throw InstallError("The destination contains an unrecognized package: " + pathText(destination));
  }
}

void InstallTransaction::checkExistingDestination(const RhinoTarget& target, const fs::path& destination) {
  checkRecognised(destination);
  if (engine_.newerVersionIn(destination)) throw InstallError(InstallEngine::newerVersionInstalled(target.major));
}

void InstallTransaction::commit() {
  receipt_.state = receipt_state::kInstalling;
  write();
  const bool installing = operation_ == Operation::install;
  progress_(installing ? "Backing up the previous installation…" : "Moving Nimbra into a backup folder…");
  for (const fs::path& item : legacyItems_) keep(item);
  for (std::size_t i = 0; i < targets_.size(); ++i) {
    const fs::path destination = targets_[i].destination();
    if (!installing) progress_("Removing Nimbra for Rhino " + std::to_string(targets_[i].major) + "…");
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
  progress_("Installing Nimbra for Rhino " + std::to_string(target.major) + "…");
  receipt_.deploying.push_back(pathText(destination));
  write();
  // Staging folder and destination share the package root: one rename, so
  // the destination appears complete or not at all.
  engine_.rejectLinks(destination);
  try {
    fm_.moveItem(staged_[i], destination);
  } catch (...) {
    // The rename may have happened before the flush after it failed: then
    // the roll-back has a deploy to take away.
    if (!fm_.fileExists(staged_[i]) && fm_.fileExists(destination)) deployed_.push_back(destination);
    throw;
  }
  deployed_.push_back(destination);
  engine_.verify(requirePackage(release, target.major), destination / release.version);
  engine_.log().write("Installed Nimbra " + release.version + " for Rhino " + std::to_string(target.major) + " into " +
                      pathText(destination));
}

void InstallTransaction::commitRestore() {
  receipt_.state = receipt_state::kInstalling;
  write();
  progress_("Backing up the present installation…");
  for (const BackupItem& item : restored_.backups) {
    if (fm_.fileExists(item.original)) keep(item.original);
  }
  progress_("Restoring the backup…");
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
                   .beforeReturn = [this](const fs::path& place) { engine_.rejectLinks(place); }});
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
