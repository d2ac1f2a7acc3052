#include "engine/staging_folders.h"

#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"
#include "engine/platform/regex.h"
#include "engine/rhino_conventions.h"

namespace nimbra {

namespace fs = std::filesystem;

fs::path newStagingFolder(const fs::path& root) {
  return location(root) / (std::string(rhino::kStagingPrefix) + newUUID());
}

bool isStagingName(const std::string& name) {
  static const Regex uuid("^[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}$", Case::sensitive);
  return name.starts_with(rhino::kStagingPrefix) && uuid.search(name.substr(rhino::kStagingPrefix.size()));
}

std::vector<fs::path> stagingFoldersIn(const FileManager& fm, const fs::path& root) {
  std::vector<fs::path> found;
  try {
    for (const std::string& name : fm.contentsOfDirectory(root)) {
      const fs::path folder = location(root) / name;
      if (isStagingName(name) && !fm.isSymbolicLink(folder) && fm.isDirectory(folder)) found.push_back(folder);
    }
  } catch (const fs::filesystem_error&) {
    // A root that cannot be listed holds nothing of ours to remove.
  }
  return found;
}

void setAsideAndRemove(FileManager& fm, const fs::path& folder) {
  const fs::path aside = newStagingFolder(location(folder).parent_path());
  fm.moveItem(folder, aside);
  try {
    fm.removeItem(aside);
  } catch (const fs::filesystem_error&) {
    // Hidden and recognised: the next install removes what is left.
  }
}

}  // namespace nimbra
