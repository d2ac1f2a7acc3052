#include "engine/recovery.h"

#include <algorithm>
#include <set>

#include "engine/cross_volume_move.h"
#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/unicode.h"
#include "engine/receipt_places.h"
#include "engine/receipt_undo.h"
#include "engine/verification.h"
#include "engine/version_compare.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

bool actsOn(const InstallReceipt& receipt) {
  return receipt.state == receipt_state::kInstalling || receipt.state == receipt_state::kRecoveryRequired;
}

// True when deployed is the original of an item that is no longer in the
// backup folder. An install records a destination as deploying only after its
// earlier copy has been moved aside, so that copy has since been put back (by
// a roll-back, or by an earlier recovery that was cut off): what stands at
// the path is the user's own earlier copy, not a deployed package.
bool holdsRestoredOriginal(const FileManager& fm, const InstallReceipt& receipt, const std::string& deployed) {
  return std::any_of(receipt.backups.begin(), receipt.backups.end(), [&](const BackupItem& item) {
    if (item.original != deployed) return false;
    return item.across ? CrossVolumeMove::atPlace(fm, *item.across) : !fm.fileExists(item.backup);
  });
}

// The deploying paths that hold a deployed package now.
std::vector<std::string> presentDeploys(const FileManager& fm, const InstallReceipt& receipt) {
  std::vector<std::string> present;
  for (const std::string& deployed : receipt.deploying) {
    if (fm.fileExists(deployed) && !holdsRestoredOriginal(fm, receipt, deployed)) present.push_back(deployed);
  }
  return present;
}

// What a user can do about a backup folder that recovery will not touch:
// recovery passes it by once it is out of Backups, and --restore (which
// recovers first) can then put back a finished backup.
constexpr std::string_view kWayOut =
    " When the Rhino package folders hold what you expect, move that folder out of Backups; "
    "Nimbra Setup --restore can then put back a finished backup.";

InstallError byHand(std::string_view refusal, const fs::path& entry) {
  return InstallError(std::string(refusal) + pathText(entry) + "." + std::string(kWayOut));
}

// Its state unknown, an unreadable receipt may be an interrupted install's:
// nothing is undone while it stands.
InstallReceipt readReceipt(const FileManager& fm, const fs::path& file) {
  try {
    return decodeReceipt(fm.readWholeFile(file));
  } catch (const std::exception&) {
    throw InstallError("The installation record \u201c" + pathText(file) + "\u201d cannot be read." +
                       std::string(kWayOut));
  }
}

}  // namespace

std::size_t Recovery::pending() const {
  const FileManager& fm = engine_.fileManager();
  const fs::path backups = engine_.support() / kBackupsFolder;
  std::size_t count = 0;
  try {
    if (!fm.fileExists(backups)) return 0;
    for (const std::string& name : fm.contentsOfDirectory(backups)) {
      const fs::path file = backups / name / kReceiptName;
      if (!fm.fileExists(file)) continue;
      try {
        if (actsOn(decodeReceipt(fm.readWholeFile(file)))) ++count;
      } catch (const std::exception&) {
        ++count;  // refused, but a step all the same
      }
    }
  } catch (const std::exception&) {
    // The recovery itself meets what this listing met, and says so.
  }
  return count;
}

void Recovery::recoverInterrupted(StepCounter& steps, const std::vector<RhinoTarget>& targets) const {
  FileManager& fm = engine_.fileManager();
  const InstallLog& log = engine_.log();
  forEachInterrupted(targets, [&](const fs::path& entry, InstallReceipt& receipt, const std::vector<std::string>& deploys) {
    // Every check has passed: nothing was changed before this point.
    steps.begin("Restoring the interrupted installation…");
    undoReceipt(fm, log, receipt, {deploys.begin(), deploys.end()}, [&] { writeReceipt(fm, entry, receipt); },
                {.name = "Recovery", .copies = "interrupted", .keepGoing = false, .beforeReturn = nullptr});
    receipt.state = receipt_state::kRestored;
    writeReceipt(fm, entry, receipt);
    log.write("Restored the interrupted installation recorded in " + pathText(entry));
  });
}

void Recovery::checkRecoverable(const std::vector<RhinoTarget>& targets) const {
  forEachInterrupted(targets, [](const fs::path&, InstallReceipt&, const std::vector<std::string>&) {});
}

void Recovery::forEachInterrupted(const std::vector<RhinoTarget>& targets, const InterruptedAction& action) const {
  const FileManager& fm = engine_.fileManager();
  const fs::path backups = engine_.support() / kBackupsFolder;
  if (!fm.fileExists(backups)) return;
  for (const std::string& name : fm.contentsOfDirectory(backups)) {
    const fs::path entry = backups / name;
    const fs::path file = entry / kReceiptName;
    if (!fm.fileExists(file)) continue;
    InstallReceipt receipt = readReceipt(fm, file);
    if (!actsOn(receipt)) continue;
    const std::vector<std::string> deploys = presentDeploys(fm, receipt);
    checkInterrupted(entry, receipt, deploys);
    checkPlaces(engine_, entry, receipt, targets);
    action(entry, receipt, deploys);
  }
}

void Recovery::checkInterrupted(const fs::path& entry, const InstallReceipt& receipt,
                                const std::vector<std::string>& deploys) const {
  const FileManager& fm = engine_.fileManager();
  if (receipt.version != engine_.release().version) {
    throw byHand("A previous update was interrupted. Restore its backup before continuing: ", entry);
  }
  for (const std::string& deployed : deploys) checkDeployed(entry, receipt.version, deployed);
  for (const BackupItem& item : receipt.backups) {
    if (!fm.fileExists(item.backup) && !item.across) continue;
    if (location(fs::path(item.backup).parent_path()) != location(entry)) {
      throw InstallError("The backup path is invalid.");
    }
    rejectLinks(fm, item.original);
    rejectLinks(fm, item.backup);
    if (item.across) rejectLinks(fm, item.across->aside);
  }
  for (const RestoredItem& item : receipt.restoring) {
    if (!fm.fileExists(item.to) && !item.across) continue;
    rejectLinks(fm, item.to);
    rejectLinks(fm, item.from);
    if (item.across) rejectLinks(fm, item.across->aside);
  }
}

void Recovery::checkDeployed(const fs::path& entry, const std::string& version, const fs::path& deployed) const {
  const FileManager& fm = engine_.fileManager();
  const InstallError manual = byHand("The installation backup needs manual recovery: ", entry);
  const InstallError additional =
      byHand("The interrupted installation contains additional files. Restore its backup manually: ", entry);
  const fs::path path = location(deployed);
  if (path.filename() != rhino::kDestinationName) throw manual;
  const std::optional<std::int64_t> major = leadingInteger(path.parent_path().filename().string());
  const PayloadPackage* package = major ? packageFor(engine_.release(), *major) : nullptr;
  if (package == nullptr) throw manual;
  // The installer never deploys through a link; whatever stands there now is
  // not what it left behind.
  rejectLinks(fm, path);

  const std::vector<std::string> names = fm.contentsOfDirectory(path);
  const std::set<std::string> expected = {version, std::string(rhino::kManifestName)};
  if (names.size() != 2 || std::set<std::string>(names.begin(), names.end()) != expected) throw additional;
  const std::string manifest = fm.readWholeFile(path / rhino::kManifestName, 1 << 20);
  if (trimmedWhitespace(manifest) != version) throw additional;
  verify(fm, *package, path / version);
}

}  // namespace nimbra
