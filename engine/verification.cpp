#include "engine/verification.h"

#include <algorithm>
#include <optional>
#include <set>

#include "engine/install_error.h"
#include "engine/link_guard.h"
#include "engine/locations.h"
#include "engine/platform/concurrency.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/sha256.h"
#include "engine/platform/unicode.h"
#include "engine/text_rules.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// The relative paths of the regular files below folder, under NFC so that a
// name's composed and decomposed spellings are one. Two files whose names are
// canonically the same (which this file system allows) make the listing
// differ from any manifest: the second one is an unexpected file.
std::optional<std::set<std::string>> listedFiles(const FileManager& fm, const fs::path& folder,
                                                FinderFiles finderFiles) {
  std::set<std::string> listed;
  bool twice = false;
  fm.walk(
      folder, Hidden::include,
      [&](const WalkEntry& entry) {
        if (entry.isRegularFile && !(finderFiles == FinderFiles::passedBy && isFinderFile(entry.path))) {
          twice = !listed.insert(nfc(entry.relative.string())).second || twice;
        }
        return true;
      },
      [](const fs::filesystem_error&) { return true; });
  if (twice) return std::nullopt;
  return listed;
}

void checkFile(const FileManager& fm, const PayloadFile& file, const fs::path& folder, LinkMemo& memo) {
  checkManifestPath(file.path);
  const fs::path path = folder / file.path;
  rejectLinks(fm, path, &memo);
  Sha256 hash;
  const std::uint64_t size = fm.readFile(path, [&](std::string_view block) { hash.update(block); });
  if (file.size < 0 || size != static_cast<std::uint64_t>(file.size) || hash.hexDigest() != file.sha256) {
    throw InstallError("A file is damaged: " + file.path + ". Download the installer again.");
  }
}

}  // namespace

std::optional<Difference> difference(const FileManager& fm, const PayloadPackage& package, const fs::path& at,
                                     FinderFiles finderFiles) {
  const fs::path folder = location(at);
  // Files are checked on every core at once; the difference reported is still
  // the first in manifest order, since each file's check stands alone.
  LinkMemo memo;
  const std::vector<std::exception_ptr> failures =
      forEachConcurrently(package.files.size(), [&](std::size_t i) { checkFile(fm, package.files[i], folder, memo); });
  for (std::size_t i = 0; i < failures.size(); ++i) {
    if (failures[i]) return Difference{package.files[i].path, failures[i]};
  }
  std::set<std::string> expected;
  for (const PayloadFile& file : package.files) expected.insert(nfc(file.path));
  const std::optional<std::set<std::string>> listed = listedFiles(fm, folder, finderFiles);
  if (listed == std::optional(expected)) return std::nullopt;
  std::string extra;
  if (listed) {
    const auto unexpected = std::find_if(listed->begin(), listed->end(), [&](const auto& p) { return !expected.contains(p); });
    if (unexpected != listed->end()) extra = *unexpected;
  }
  return Difference{extra, std::make_exception_ptr(InstallError("The package contains unexpected files."))};
}

void verify(const FileManager& fm, const PayloadPackage& package, const fs::path& at) {
  if (package.files.empty()) throw InstallError("The installer package is empty.");
  if (const std::optional<Difference> found = difference(fm, package, at)) std::rethrow_exception(found->error);
}

}  // namespace nimbra
