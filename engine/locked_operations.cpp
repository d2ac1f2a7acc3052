#include <algorithm>
#include <chrono>
#include <set>

#include "engine/failure_text.h"
#include "engine/install_engine.h"
#include "engine/install_lock.h"
#include "engine/install_receipt.h"
#include "engine/install_transaction.h"
#include "engine/legacy_copies.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/recovery.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"
#include "engine/platform/unicode.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

void checkTargets(const std::vector<RhinoTarget>& targets) {
  std::set<std::int64_t> majors;
  for (const RhinoTarget& target : targets) majors.insert(target.major);
  if (targets.empty() || majors.size() != targets.size()) {
    throw InstallError("Choose one installation for each Rhino version.");
  }
}

// The scan's finds, less those inside a destination: they go with it. A name
// that is not UTF-8 cannot be recorded in a receipt, so it is refused here,
// before anything is changed.
std::vector<fs::path> legacyItemsOutside(const std::vector<fs::path>& found, const std::vector<RhinoTarget>& targets) {
  std::vector<fs::path> items;
  for (const fs::path& file : found) {
    const std::string path = file.string();
    if (!isValidUTF8(path)) {
      throw InstallError("Rename or remove this older Nimbra copy, whose name is not valid UTF-8: " + repairedUTF8(path));
    }
    const bool inside = std::any_of(targets.begin(), targets.end(), [&](const RhinoTarget& target) {
      return path.starts_with(pathText(target.destination()) + "/");
    });
    if (!inside) items.push_back(file);
  }
  return items;
}

// "Rhino 7 into <root> and Rhino 8 into <root>", for the log.
std::string targetsText(const std::vector<RhinoTarget>& targets) {
  std::string text;
  for (const RhinoTarget& target : targets) {
    text += (text.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major) + " in " + pathText(target.packageRoot));
  }
  return text;
}

}  // namespace

fs::path InstallEngine::install(const std::vector<RhinoTarget>& targets,
                                const std::optional<std::vector<fs::path>>& legacyRoots,
                                const Progress& progress) const {
  return transact(Operation::install, targets, legacyRoots, progress);
}

fs::path InstallEngine::uninstall(const std::vector<RhinoTarget>& targets, const Progress& progress) const {
  return transact(Operation::uninstall, targets, std::nullopt, progress);
}

void InstallEngine::recover(const Progress& progress) const {
  if (!fm_.fileExists(support())) return;
  try {
    rejectLinks(fm_, support());
    const InstallLock lock(support());
    rejectLinks(fm_, support() / kBackupsFolder);
    Recovery(*this).recoverInterrupted(progress);
  } catch (const std::exception& error) {
    log_.write(describe(error));
    throw;
  }
}

fs::path InstallEngine::restore(const fs::path& backupFolder, const std::vector<RhinoTarget>& targets,
                               const Progress& progress) const {
  return transact(Operation::restore, targets, std::vector<fs::path>{}, progress, backupFolder);
}

fs::path InstallEngine::transact(Operation operation, const std::vector<RhinoTarget>& targets,
                                 const std::optional<std::vector<fs::path>>& legacyRoots, const Progress& progress,
                                 const std::optional<fs::path>& restoreFrom) const {
  const std::string what = operation == Operation::install     ? "Install"
                           : operation == Operation::uninstall ? "Uninstall"
                                                               : "Restore";
  try {
    checkTargets(targets);
    const fs::path backupFolder =
        support() / kBackupsFolder / backupFolderName(std::chrono::system_clock::now(), newUUID());
    rejectLinks(fm_, support());
    fm_.createDirectory(support(), Intermediates::yes);
    log_.write(what + " of Nimbra " + release_.version + " began for " + targetsText(targets) + ".");

    // Declared first, so it is released and closed last on every way out.
    const InstallLock lock(support());

    // Receipts and moved-aside copies are written only below the real support
    // folder, never through a link planted inside it.
    rejectLinks(fm_, backupFolder);
    const Recovery recovery(*this);
    const bool cleanUp = InstallTransaction::hasLeftovers(*this, targets);
    StepCounter steps(progress, recovery.pending() + InstallTransaction::steps(operation, targets.size(), cleanUp));
    recovery.recoverInterrupted(steps, targets);
    fm_.createDirectory(backupFolder, Intermediates::yes);
    const LegacyCopies legacy(*this);
    std::vector<fs::path> roots = legacyRoots ? *legacyRoots : legacy.legacyRoots();
    if (!legacyRoots) {
      for (const RhinoTarget& target : targets) roots.push_back(target.packageRoot);
    }
    InstallTransaction transaction(*this, operation, targets, backupFolder,
                                   legacyItemsOutside(legacy.scanLegacy(roots), targets), steps, cleanUp);
    if (restoreFrom) transaction.restoreFrom(*restoreFrom);
    transaction.run();
    log_.write(what + " finished. Backup folder: " + pathText(backupFolder));
    return backupFolder;
  } catch (const std::exception& error) {
    // The sentence says itself that nothing was installed.
    log_.write(describe(error));
    throw;
  }
}

}  // namespace nimbra
