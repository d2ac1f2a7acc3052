#pragma once

// Whether a folder holds exactly a package: every listed file present, byte
// for byte, and no other file beside them.

#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/release_manifest.h"

namespace nimbra {

class FileManager;

// Succeeds when folder holds exactly the package's files, byte for byte.
// Throws InstallError (empty package, invalid path, damaged file, unexpected
// files), the rejectLinks error, or the platform's read error, first failure
// in manifest order. Changes nothing.
void verify(const FileManager& fm, const PayloadPackage& package, const std::filesystem::path& folder);

// What verify would refuse first: the file (its path in the package; for a
// file that is not in the manifest, its path in the folder, "" when it
// cannot be told) and the error verify throws for it.
struct Difference {
  std::string path;
  std::exception_ptr error;
};
// FinderFiles::passedBy: the Finder's own files (isFinderFile) in folder
// are no difference, as in an installed copy someone opened in the Finder.
enum class FinderFiles { refused, passedBy };
std::optional<Difference> difference(const FileManager& fm, const PayloadPackage& package,
                                     const std::filesystem::path& folder, FinderFiles finderFiles = FinderFiles::refused);

}  // namespace nimbra
