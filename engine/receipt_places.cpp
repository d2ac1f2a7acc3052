#include "engine/receipt_places.h"

#include <algorithm>

#include "engine/discovery.h"
#include "engine/install_engine.h"
#include "engine/legacy_copies.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

bool isBelow(const fs::path& path, const fs::path& folder) {
  const std::string prefix = pathText(folder) + "/";
  return path.string().starts_with(prefix) && path.string().size() > prefix.size();
}

// An item the legacy scan could have found below root: a .gha file, no hidden
// name on the way. ".." and "." are hidden names too, so a path that the
// kernel would resolve elsewhere (through a link, even) never passes.
bool isLegacyItemIn(const fs::path& path, const fs::path& root) {
  if (!isBelow(path, root) || lowercasedASCII(extensionOf(path)) != rhino::kLibraryExtension) return false;
  const fs::path relative = path.lexically_relative(location(root));
  return std::none_of(relative.begin(), relative.end(), [](const fs::path& part) { return isHiddenName(part); });
}

// No move between file systems, or one whose aside is a staging name right
// beside the item's place and whose step is one this installer writes.
bool asideBeside(const std::optional<CrossMove>& across, const std::string& place) {
  if (!across) return true;
  const fs::path aside = across->aside;
  const bool known = across->step == cross_step::kSettingAside || across->step == cross_step::kKept ||
                     across->step == cross_step::kReturning;
  return known && isStagingName(aside.filename().string()) &&
         across->aside == pathText(fs::path(place).parent_path() / aside.filename());
}

// The package roots a receipt may name: the standard root of each major of
// the release, and the roots of targets of those majors.
std::vector<fs::path> packageRoots(const InstallEngine& engine, const std::vector<RhinoTarget>& targets) {
  std::vector<fs::path> roots;
  for (const PayloadPackage& package : engine.release().packages) {
    roots.push_back(engine.standardRoot(package.major));
    for (const RhinoTarget& target : targets) {
      if (target.major == package.major) roots.push_back(location(target.packageRoot));
    }
  }
  return roots;
}

bool staysInPlaces(const InstallEngine& engine, const fs::path& entry, const InstallReceipt& receipt,
                   const std::vector<fs::path>& roots) {
  const auto isDestination = [&](const std::string& path) {
    return std::any_of(roots.begin(), roots.end(),
                       [&](const fs::path& root) { return path == pathText(root / rhino::kDestinationName); });
  };
  if (!std::all_of(receipt.destinations.begin(), receipt.destinations.end(), isDestination) ||
      !std::all_of(receipt.deploying.begin(), receipt.deploying.end(), isDestination)) {
    return false;
  }
  std::vector<fs::path> legacy = LegacyCopies(engine).legacyRoots();
  legacy.insert(legacy.end(), roots.begin(), roots.end());
  const auto ourPlace = [&](const std::string& path) {
    return std::find(receipt.destinations.begin(), receipt.destinations.end(), path) != receipt.destinations.end() ||
           std::any_of(legacy.begin(), legacy.end(), [&](const fs::path& root) { return isLegacyItemIn(path, root); });
  };
  // A restore takes items out of another backup folder, directly inside it.
  const fs::path backups = location(engine.support() / kBackupsFolder);
  const bool restoresFromBackups = std::all_of(receipt.restoring.begin(), receipt.restoring.end(), [&](const RestoredItem& item) {
    const fs::path from = item.from;
    const bool inABackup = from.parent_path().parent_path() == backups &&
                           item.from == pathText(from.parent_path() / from.filename()) && !isHiddenName(from.parent_path());
    return inABackup && ourPlace(item.to) && asideBeside(item.across, item.to);
  });
  return restoresFromBackups && std::all_of(receipt.backups.begin(), receipt.backups.end(), [&](const BackupItem& item) {
    const fs::path backup = item.backup;
    const bool inItsFolder = backup.string() == pathText(entry / backup.filename());
    return inItsFolder && ourPlace(item.original) && asideBeside(item.across, item.original);
  });
}

}  // namespace

void checkPlaces(const InstallEngine& engine, const fs::path& entry, const InstallReceipt& receipt,
                 const std::vector<RhinoTarget>& targets) {
  if (staysInPlaces(engine, entry, receipt, packageRoots(engine, targets))) return;
  // A package root that Rhino's own tool reports is known only to discovery,
  // which is slow: asked only when the receipt needs it.
  std::vector<RhinoTarget> known = targets;
  for (const RhinoTarget& found : Discovery(engine).discover()) known.push_back(found);
  if (staysInPlaces(engine, entry, receipt, packageRoots(engine, known))) return;
  throw InstallError(
      "The installation record names a place outside the Rhino and Grasshopper folders and was not used. Move its "
      "backup folder out of Backups: " +
      pathText(entry));
}

}  // namespace nimbra
