#include "engine/install_engine.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// The two system links that may stand on a path, in their standard form only.
bool isSystemLink(const fs::path& path, const FileManager& fm) {
  if (path != "/tmp" && path != "/var") return false;
  try {
    return fm.destinationOfSymbolicLink(path) == "private" + path.string();
  } catch (const fs::filesystem_error&) {
    return false;
  }
}

}  // namespace

void InstallEngine::rejectLinks(const fs::path& url) const {
  for (fs::path current = location(url); !current.empty() && current != current.root_path();
       current = current.parent_path()) {
    // A link whose target is missing counts as nothing here: fileExists follows it.
    if (!fm_.fileExists(current) || !fm_.isSymbolicLink(current)) continue;
    if (!isSystemLink(current, fm_)) {
      throw InstallError("Choose a folder without symbolic links: " + current.string());
    }
  }
}

}  // namespace nimbra
