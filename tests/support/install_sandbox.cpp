#include "tests/support/install_sandbox.h"

#include <algorithm>

namespace nimbra::testing {

namespace fs = std::filesystem;

InstallSandbox::InstallSandbox(const std::string& version, std::vector<std::int64_t> majors)
    : home_(folder_.path() / "home"), resources_(folder_.path() / "Nimbra Setup.app/Contents/Resources/Payload") {
  release_.version = version;
  for (const std::int64_t major : majors) {
    const std::string tag = "Rhino" + std::to_string(major);
    release_.packages.push_back(writePackage(resources_ / tag, major,
                                             {{"Nimbra.gha", "new " + tag + productMarker()},
                                              {"lib/Companion.dll", "companion for " + tag},
                                              {"lib/docs/Read me.txt", "read me " + version}}));
  }
  writeRelease(resources_, release_);
  fs::create_directories(home_);
}

fs::path InstallSandbox::support() const { return home_ / "Library/Application Support/Nimbra"; }

fs::path InstallSandbox::standardRoot(std::int64_t major) const {
  return home_ / "Library/Application Support/McNeel/Rhinoceros/packages" / (std::to_string(major) + ".0");
}

fs::path InstallSandbox::sharedLibraries() const {
  return home_ / "Library/Application Support/McNeel/Rhinoceros/MacPlugIns/Grasshopper/Libraries";
}

RhinoTarget InstallSandbox::target(std::int64_t major) const {
  return RhinoTarget{major, "/Applications/Rhino " + std::to_string(major) + ".app", standardRoot(major)};
}

std::vector<RhinoTarget> InstallSandbox::targets(std::vector<std::int64_t> majors) const {
  std::vector<RhinoTarget> list;
  for (const std::int64_t major : majors) list.push_back(target(major));
  return list;
}

std::unique_ptr<InstallEngine> InstallSandbox::engine(FileManager& fm) const {
  return std::make_unique<InstallEngine>(resources_, home_, fm);
}

std::unique_ptr<InstallEngine> InstallSandbox::engine() const { return engine(FileManager::standard()); }

void InstallSandbox::deployEarlier(std::int64_t major, const std::string& version) {
  const fs::path destination = this->destination(major);
  writeProductFile(destination / version / "Nimbra.gha", "earlier " + version + " for " + std::to_string(major));
  writeFile(destination / version / "lib/Old.dll", "old library " + std::to_string(major));
  writeFile(destination / "manifest.txt", version + "\n");
}

fs::path InstallSandbox::cutOffUpgrade(std::int64_t major, const std::string& name) {
  const fs::path folder = support() / "Backups" / name;
  const std::string place = destination(major).string();
  deployEarlier(major, "1.2.0");
  fs::create_directories(folder);
  fs::rename(place, folder / "0-nimbra");
  fs::create_directories(place);
  fs::copy(resources_ / ("Rhino" + std::to_string(major)), place + "/" + release_.version, fs::copy_options::recursive);
  writeFile(place + "/manifest.txt", release_.version + "\n");
  const BackupItem item{place, (folder / "0-nimbra").string()};
  writeFile(folder / "receipt.json", encodeReceipt({release_.version, "installing", {place}, {item}, {place}}));
  return folder;
}

void InstallSandbox::writeProductFile(const fs::path& path, const std::string& tag) {
  writeFile(path, tag + productMarker() + tag);
}

void InstallSandbox::listInSettings(const fs::path& folder) {
  writeFile(home_ / "Library/Application Support/McNeel/Rhinoceros/MacPlugIns/Grasshopper/grasshopper_kernel.xml",
            "<settings><item name=\"Loader:AssemblyFolders\" type_name=\"gh_string\">" + folder.string() +
                "</item></settings>");
}

Snapshot InstallSandbox::snapshot() const {
  Snapshot snapshot;
  const std::string root = home_.string();
  for (auto it = fs::recursive_directory_iterator(home_); it != fs::recursive_directory_iterator(); ++it) {
    const fs::path& path = it->path();
    if (path == support() || path.filename().string().starts_with(".nimbra-install-")) {
      it.disable_recursion_pending();
      continue;
    }
    // Settings files and links name folders below the home: spelt alike in every sandbox.
    std::string value = it->is_symlink()     ? "link:" + fs::read_symlink(path).string()
                        : it->is_directory() ? "dir"
                                             : "file:" + readFile(path);
    for (std::size_t at = value.find(root); at != std::string::npos; at = value.find(root)) {
      value.replace(at, root.size(), "<root>");
    }
    snapshot[path.lexically_relative(home_).string()] = value;
  }
  return snapshot;
}

std::vector<fs::path> InstallSandbox::stagingLeftovers() const {
  std::vector<fs::path> found;
  for (const std::int64_t major : {7, 8}) {
    if (!fs::exists(standardRoot(major))) continue;
    for (const auto& entry : fs::directory_iterator(standardRoot(major))) {
      if (entry.path().filename().string().starts_with(".nimbra-install-")) found.push_back(entry.path());
    }
  }
  return found;
}

std::vector<fs::path> InstallSandbox::backupFolders() const {
  std::vector<fs::path> folders;
  if (!fs::exists(support() / "Backups")) return folders;
  for (const auto& entry : fs::directory_iterator(support() / "Backups")) folders.push_back(entry.path());
  std::sort(folders.begin(), folders.end());
  return folders;
}

InstallReceipt InstallSandbox::receiptIn(const fs::path& backupFolder) const {
  return decodeReceipt(readFile(backupFolder / "receipt.json"));
}

std::string differences(const Snapshot& expected, const Snapshot& actual) {
  std::string text;
  for (const auto& [path, value] : expected) {
    const auto found = actual.find(path);
    if (found == actual.end()) text += "  missing: " + path + "\n";
    else if (found->second != value) text += "  changed: " + path + "\n";
  }
  for (const auto& [path, value] : actual) {
    if (!expected.count(path)) text += "  added:   " + path + "\n";
  }
  return text;
}

}  // namespace nimbra::testing
