#include "engine/link_guard.h"

#include "engine/install_error.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/link_free.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

bool isSystemLinkAt(const fs::path& path, const FileManager& fm) {
  if (path.parent_path() != path.root_path()) return false;
  try {
    return isSystemLink(path.filename(), fm.destinationOfSymbolicLink(path).string());
  } catch (const fs::filesystem_error&) {
    return false;
  }
}

}  // namespace

void rejectLinks(const FileManager& fm, const fs::path& url, LinkMemo* memo) {
  std::vector<std::string> checked;
  for (fs::path current = location(url); !current.empty() && current != current.root_path();
       current = current.parent_path()) {
    // Folders already found free of links, up to "/", need no second look.
    if (memo != nullptr && memo->contains(current.native())) break;
    checked.push_back(current.native());
    // A link whose target is missing counts as nothing here: fileExists follows it.
    if (!fm.fileExists(current) || !fm.isSymbolicLink(current)) continue;
    if (!isSystemLinkAt(current, fm)) {
      throw InstallError("Choose a folder without symbolic links: " + current.string());
    }
  }
  if (memo != nullptr) memo->insert(checked);
}

bool LinkMemo::contains(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  return clean_.count(path) != 0;
}

void LinkMemo::insert(const std::vector<std::string>& paths) {
  std::lock_guard<std::mutex> lock(mutex_);
  clean_.insert(paths.begin(), paths.end());
}

}  // namespace nimbra
