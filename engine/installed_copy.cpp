// What stands in a target's destination, read without changing anything: for
// a deployment tool's check, and so that running the same install twice does
// nothing the second time.

#include <algorithm>

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/file_lock.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/regex.h"
#include "engine/platform/unicode.h"
#include "engine/version_compare.h"

namespace nimbra {

namespace fs = std::filesystem;

InstallEngine::InstalledCopy InstallEngine::installedCopy(const RhinoTarget& target) const {
  using State = InstalledCopy::State;
  const fs::path destination = target.destination();
  try {
    if (!fm_.fileExists(destination)) return {State::notInstalled, "", ""};
    rejectLinks(destination);
    if (const std::optional<std::string> newer = newerVersionIn(destination)) return {State::newer, *newer, ""};
    const std::string version = trimmedWhitespace(fm_.readWholeFile(destination / rhino::kManifestName, 1 << 20));
    if (version != release_.version) {
      // A manifest that claims more than its folders hold is not a newer install.
      const bool older = compareNumeric(versionCore(version), versionCore(release_.version)) < 0;
      return {older ? State::older : State::changed, version, older ? "" : std::string(rhino::kManifestName)};
    }
    const PayloadPackage* package = packageFor(release_, target.major);
    if (package == nullptr) return {State::changed, version, ""};
    // Beside the version folder and its manifest, nothing of ours stands;
    // the Finder's files change nothing an install would.
    for (const std::string& name : fm_.contentsOfDirectory(destination)) {
      if (name != version && name != rhino::kManifestName && !isFinderFile(name)) return {State::changed, version, name};
    }
    if (const std::optional<Difference> found = difference(*package, destination / version, FinderFiles::passedBy)) {
      return {State::changed, version, found->path};
    }
    return {State::upToDate, version, ""};
  } catch (const std::exception&) {
    // A link in the way or a manifest that cannot be read: not this release.
    return {State::changed, "", std::string(rhino::kManifestName)};
  }
}

std::optional<std::string> InstallEngine::installedVersion(const RhinoTarget& target) const {
  const fs::path destination = target.destination();
  if (!fm_.fileExists(destination)) return std::nullopt;
  try {
    rejectLinks(destination);
    const std::string version = trimmedWhitespace(fm_.readWholeFile(destination / rhino::kManifestName, 1 << 20));
    return version.empty() ? "unknown" : version;
  } catch (const std::exception&) {
    return "unknown";
  }
}

std::optional<std::string> InstallEngine::newerVersionIn(const fs::path& destination) const {
  static const Regex versionName(R"(^\d+\.\d+\.\d+)", Case::sensitive);
  const std::string_view core = versionCore(release_.version);
  for (const std::string& name : fm_.contentsOfDirectory(destination)) {
    if (isHiddenName(name) || !versionName.search(name)) continue;
    if (compareNumeric(versionCore(name), core) > 0) return name;
  }
  return std::nullopt;
}

std::string InstallEngine::newerVersionInstalled(std::int64_t major) {
  return "A newer Nimbra version is already installed for Rhino " + std::to_string(major) + ".";
}

bool InstallEngine::anotherInstallationRunning() const {
  const fs::path file = support() / kLockFile;
  if (!fm_.fileExists(file)) return false;
  return FileLock(file).outcome() == FileLock::Outcome::heldElsewhere;
}

}  // namespace nimbra
