// What stands in a target's destination, read without changing anything: for
// a deployment tool's check, and so that running the same install twice does
// nothing the second time.

#include "engine/installed_copy.h"

#include <algorithm>

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/regex.h"
#include "engine/platform/unicode.h"
#include "engine/verification.h"
#include "engine/version_compare.h"

namespace nimbra {

namespace fs = std::filesystem;

InstalledCopy InstalledCopies::installedCopy(const RhinoTarget& target) const {
  using State = InstalledCopy::State;
  const FileManager& fm = engine_.fileManager();
  const Release& release = engine_.release();
  const fs::path destination = target.destination();
  try {
    if (!fm.fileExists(destination)) return {State::notInstalled, "", ""};
    rejectLinks(fm, destination);
    if (const std::optional<std::string> newer = newerVersionIn(destination)) return {State::newer, *newer, ""};
    const std::string version = trimmedWhitespace(fm.readWholeFile(destination / rhino::kManifestName, 1 << 20));
    if (version != release.version) {
      // A manifest that claims more than its folders hold is not a newer install.
      const bool older = compareNumeric(versionCore(version), versionCore(release.version)) < 0;
      return {older ? State::older : State::changed, version, older ? "" : std::string(rhino::kManifestName)};
    }
    const PayloadPackage* package = packageFor(release, target.major);
    if (package == nullptr) return {State::changed, version, ""};
    // Beside the version folder and its manifest, nothing of ours stands;
    // the Finder's files change nothing an install would.
    for (const std::string& name : fm.contentsOfDirectory(destination)) {
      if (name != version && name != rhino::kManifestName && !isFinderFile(name)) return {State::changed, version, name};
    }
    if (const std::optional<Difference> found = difference(fm, *package, destination / version, FinderFiles::passedBy)) {
      return {State::changed, version, found->path};
    }
    return {State::upToDate, version, ""};
  } catch (const std::exception&) {
    // A link in the way or a manifest that cannot be read: not this release.
    return {State::changed, "", std::string(rhino::kManifestName)};
  }
}

std::optional<std::string> InstalledCopies::installedVersion(const RhinoTarget& target) const {
  const FileManager& fm = engine_.fileManager();
  const fs::path destination = target.destination();
  if (!fm.fileExists(destination)) return std::nullopt;
  try {
    rejectLinks(fm, destination);
    const std::string version = trimmedWhitespace(fm.readWholeFile(destination / rhino::kManifestName, 1 << 20));
    return version.empty() ? "unknown" : version;
  } catch (const std::exception&) {
    return "unknown";
  }
}

std::optional<std::string> InstalledCopies::newerVersionIn(const fs::path& destination) const {
  static const Regex versionName(R"(^\d+\.\d+\.\d+)", Case::sensitive);
  const std::string_view core = versionCore(engine_.release().version);
  for (const std::string& name : engine_.fileManager().contentsOfDirectory(destination)) {
    if (isHiddenName(name) || !versionName.search(name)) continue;
    if (compareNumeric(versionCore(name), core) > 0) return name;
  }
  return std::nullopt;
}

std::string InstalledCopies::newerVersionInstalled(std::int64_t major) {
  return "A newer Nimbra version is already installed for Rhino " + std::to_string(major) + ".";
}

}  // namespace nimbra
