#include "engine/discovery.h"

#include <algorithm>
#include <set>
#include <mutex>

#include "engine/install_engine.h"
#include "engine/locations.h"
#include "engine/platform/bundle.h"
#include "engine/platform/concurrency.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/unicode.h"
#include "engine/text_rules.h"
#include "engine/version_compare.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr int kWalkDepthLimit = 4;
constexpr unsigned kExaminers = 8;

bool acceptedMajor(std::int64_t major) {
  return std::find(std::begin(rhino::kMajors), std::end(rhino::kMajors), major) != std::end(rhino::kMajors);
}

bool rhinoIdentifier(const std::string& identifier, std::int64_t major) {
  const std::string lowered = lowercasedASCII(identifier);
  const std::string prefix(rhino::kBundleIdentifierPrefix);
  return lowered == prefix + "." + std::to_string(major) || (major == 7 && lowered == prefix);
}

// Candidate application folders, each once, in the order first found.
class Candidates {
 public:
  void add(const fs::path& application) {
    if (seen_.insert(application.string()).second) list_.push_back(application);
  }
  const std::vector<fs::path>& list() const { return list_; }

 private:
  std::set<std::string> seen_;
  std::vector<fs::path> list_;
};

}  // namespace

std::optional<RhinoTarget> Discovery::target(const fs::path& application, PackageRoot packageRoot) const {
  const FileManager& fm = engine_.fileManager();
  if (lowercasedASCII(extensionOf(location(application))) != rhino::kApplicationExtension) return std::nullopt;
  const std::optional<Bundle> bundle = Bundle::open(fm, application);
  if (!bundle) return std::nullopt;
  const std::optional<std::string> identifier = bundle->identifier();
  if (!identifier) return std::nullopt;
  if (bundle->infoString(rhino::kPackageTypeKey) != std::string(rhino::kPackageType)) return std::nullopt;
  const std::optional<std::string> version = bundle->infoString(rhino::kVersionKey);
  if (!version) return std::nullopt;
  const std::optional<std::int64_t> major = leadingInteger(*version);
  if (!major || !acceptedMajor(*major) || !rhinoIdentifier(*identifier, *major)) return std::nullopt;
  const std::optional<fs::path> executable = bundle->executable();
  if (!executable || !fm.isExecutableFile(*executable)) return std::nullopt;

  RhinoTarget found{*major, application, engine_.standardRoot(*major)};
  const fs::path yak = application / rhino::kYakLocation;
  if (packageRoot == PackageRoot::askYak && fm.isExecutableFile(yak)) {
    try {
      const std::string output = InstallEngine::run(yak, {std::string(rhino::kYakArgument)}, rhino::kYakTimeout);
      if (std::optional<fs::path> root = packageRootFromYak(output, *major)) found.packageRoot = *root;
    } catch (const std::exception&) {
      // Whatever went wrong with yak, the standard package folder stands.
    }
  }
  return found;
}

std::vector<RhinoTarget> Discovery::discover() const {
  const FileManager& fm = engine_.fileManager();
  const HostLocations& host = engine_.host();
  Candidates candidates;
  for (const fs::path& root : {host.systemApplications, engine_.home() / rhino::kUserApplications}) {
    fm.walk(
        root, Hidden::skip,
        [&](const WalkEntry& entry) {
          if (extensionOf(entry.path) == rhino::kApplicationExtension) {
            candidates.add(entry.path);
            return false;
          }
          return entry.depth < kWalkDepthLimit;
        },
        [](const fs::filesystem_error&) { return true; }, Links::follow);
  }
  try {
    const std::string found = InstallEngine::run(host.spotlightTool, {std::string(rhino::kSpotlightQuery)}, rhino::kSpotlightTimeout);
    for (const std::string& line : splitLines(found)) {
      if (line.ends_with(".app")) candidates.add(line);
    }
  } catch (const std::exception&) {
    // Without Spotlight the other sources still count.
  }
  for (const RunningApplication& running : host.runningApplications()) {
    if (!running.bundle.empty()) candidates.add(running.bundle);
  }

  std::vector<RhinoTarget> targets = examine(candidates.list());
  std::stable_sort(targets.begin(), targets.end(), [](const RhinoTarget& a, const RhinoTarget& b) {
    if (a.major != b.major) return a.major < b.major;
    return nfc(pathText(a.application)) < nfc(pathText(b.application));
  });
  return targets;
}

std::vector<RhinoTarget> Discovery::examine(const std::vector<fs::path>& candidates) const {
  // Each candidate's yak may take seconds; examine several at once.
  std::vector<std::optional<RhinoTarget>> results(candidates.size());
  forEachConcurrently(candidates.size(), [&](std::size_t i) { results[i] = target(candidates[i]); }, kExaminers);
  std::vector<RhinoTarget> targets;
  for (std::optional<RhinoTarget>& result : results) {
    if (result) targets.push_back(std::move(*result));
  }
  return targets;
}

}  // namespace nimbra
