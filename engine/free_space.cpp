#include "engine/free_space.h"

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "engine/install_error.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// Both amounts in one unit: the largest in which the free space still counts
// ten or more (kilobytes at the least), so a small gap never reads as "0 MB
// are free". The need is rounded up and the room down, so short never reads
// as enough.
std::pair<std::string, std::string> inOneUnit(std::uint64_t needed, std::uint64_t available) {
  constexpr std::pair<std::uint64_t, const char*> kUnits[] = {{1'000'000'000, "GB"}, {1'000'000, "MB"}, {1'000, "KB"}};
  auto [size, name] = kUnits[2];
  for (const auto& unit : kUnits) {
    if (available >= 10 * unit.first) {
      std::tie(size, name) = unit;
      break;
    }
  }
  return {std::to_string((needed + size - 1) / size) + " " + name, std::to_string(available / size) + " " + name};
}

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
    const auto [needed, available] = inOneUnit(demand.needed, demand.space.available);
    throw InstallError("There is not enough free space to install Nimbra: it needs " + needed + " on the disk holding " +
                       pathText(demand.root) + ", and " + available + " are free.");
  }
}

}  // namespace nimbra
