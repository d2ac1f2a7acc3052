#include "engine/legacy_copies.h"

#include <cstring>
#include <optional>
#include <set>

#include "engine/install_engine.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/text_rules.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kRecognitionLimit = 30'000'000;

// The plug-in identifier as UTF-16LE without a byte-order mark: 72 bytes.
std::string productMarker() {
  std::string marker;
  for (const char c : InstallEngine::pluginID()) {
    marker.push_back(c);
    marker.push_back('\0');
  }
  return marker;
}

bool contains(std::string_view haystack, std::string_view needle) {
  return ::memmem(haystack.data(), haystack.size(), needle.data(), needle.size()) != nullptr;
}

// Reads the file once, in blocks, looking for the marker in each block and
// across each boundary between two blocks.
bool holdsMarker(const FileManager& fm, const fs::path& file, std::uint64_t& size) {
  static const std::string marker = productMarker();
  const std::size_t overlap = marker.size() - 1;
  bool found = false;
  std::string tail;  // the last bytes before the current block, at most overlap of them
  size = fm.readFile(file, [&](std::string_view block) {
    if (found) return;
    if (!tail.empty()) found = contains(tail + std::string(block.substr(0, overlap)), marker);
    found = found || contains(block, marker);
    tail.append(block.substr(block.size() > overlap ? block.size() - overlap : 0));
    if (tail.size() > overlap) tail.erase(0, tail.size() - overlap);
  });
  return found;
}

bool isProductFile(const FileManager& fm, const fs::path& file) {
  if (lowercasedASCII(extensionOf(file)) != rhino::kLibraryExtension) return false;
  try {
    // A file at or past the limit is never the product's, so it is not read.
    if (fm.fileSize(file) >= kRecognitionLimit) return false;
    std::uint64_t size = 0;
    return holdsMarker(fm, file, size) && size < kRecognitionLimit;
  } catch (const fs::filesystem_error&) {
    return false;
  }
}

}  // namespace

bool LegacyCopies::isNimbra(const fs::path& file) { return isProductFile(FileManager::standard(), file); }

std::vector<fs::path> LegacyCopies::legacyRoots() const {
  const FileManager& fm = engine_.fileManager();
  const fs::path rhinoceros = engine_.home() / rhino::kRhinocerosFolder;
  std::vector<fs::path> roots = {rhinoceros / rhino::kSharedLibraries,
                                 rhinoceros / "7.0" / rhino::kVersionLibraries,
                                 rhinoceros / "8.0" / rhino::kVersionLibraries};
  fm.walk(
      rhinoceros / rhino::kGrasshopperSettings, Hidden::skip,
      [&](const WalkEntry& entry) {
        if (lowercasedASCII(extensionOf(entry.path)) != rhino::kSettingsExtension) return true;
        try {
          const std::string settings = fm.readWholeFile(entry.path, 64u << 20, Links::follow);
          for (fs::path& folder : listedFolders(settings)) roots.push_back(std::move(folder));
        } catch (const fs::filesystem_error&) {
          // An unreadable settings file adds nothing.
        }
        return true;
      },
      [](const fs::filesystem_error&) { return true; }, Links::follow);
  return roots;
}

std::vector<fs::path> LegacyCopies::scanLegacy(const std::vector<fs::path>& roots) const {
  const FileManager& fm = engine_.fileManager();
  std::set<std::string> found;
  for (const fs::path& given : roots) {
    const fs::path root = location(given);
    if (!fm.fileExists(root)) continue;
    rejectLinks(fm, root);
    std::optional<fs::filesystem_error> walkError;
    fm.walk(
        root, Hidden::skip,
        [&](const WalkEntry& entry) {
          if (entry.isSymbolicLink) {
            throw InstallError("A linked plug-in folder needs to be updated manually: " + entry.path.string());
          }
          if (isProductFile(fm, entry.path)) found.insert(entry.path.string());
          return true;
        },
        [&](const fs::filesystem_error& error) {
          walkError = error;
          return false;
        });
    if (walkError) throw *walkError;
  }
  return std::vector<fs::path>(found.begin(), found.end());
}

}  // namespace nimbra
