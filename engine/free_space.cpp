#include "engine/free_space.h"

#include <map>
#include <set>
#include <string>

#include "engine/install_error.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::uint64_t kMegabyte = 1'000'000;

std::uint64_t wholeBlocks(std::uint64_t bytes, std::uint64_t block) { return (bytes + block - 1) / block * block; }

// What a staged copy of package takes: its files in whole blocks, and a block
// each for the staging folder, the version folder, every folder below it and
// the manifest.
std::uint64_t stagedSize(const PayloadPackage& package, std::uint64_t block) {
  std::uint64_t bytes = 3 * block;
  std::set<fs::path> folders;
  for (const PayloadFile& file : package.files) {
    bytes += wholeBlocks(static_cast<std::uint64_t>(std::max<std::int64_t>(file.size, 0)), block);
    for (fs::path folder = fs::path(file.path).parent_path(); !folder.empty(); folder = folder.parent_path()) {
      folders.insert(folder);
    }
  }
  return bytes + folders.size() * block;
}

struct Demand {
  FileSystemSpace space;
  fs::path root;  // the first package root on this file system, named to the user
  std::uint64_t needed = 0;
};

}  // namespace

void requireFreeSpace(const FileManager& fm, const Release& release, const std::vector<RhinoTarget>& targets) {
  std::map<dev_t, Demand> demands;
  for (const RhinoTarget& target : targets) {
    const std::optional<FileSystemSpace> space = fm.spaceFor(target.packageRoot);
    if (!space || space->blockSize == 0) continue;
    for (const PayloadPackage& package : release.packages) {
      if (package.major != target.major) continue;
      Demand& demand = demands.try_emplace(space->device, Demand{*space, location(target.packageRoot), 0}).first->second;
      demand.needed += stagedSize(package, space->blockSize);
      break;
    }
  }
  for (const auto& [device, demand] : demands) {
    if (demand.needed <= demand.space.available) continue;
    // The need rounded up and the room down, so short never reads as enough.
    throw InstallError("There is not enough free space to install Nimbra: it needs " +
                       std::to_string((demand.needed + kMegabyte - 1) / kMegabyte) + " MB on the disk holding " +
                       pathText(demand.root) + ", and " + std::to_string(demand.space.available / kMegabyte) +
                       " MB are free.");
  }
}

}  // namespace nimbra
