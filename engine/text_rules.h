#pragma once

// The rules the engine applies to text that comes from outside: yak's output,
// Grasshopper's settings files and the manifest's file paths. Kept apart so
// that they can be tested and fuzzed on their own.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// The package folder in yak's output: the first line holding a path, from its
// first "/", trimmed of spaces, tabs, carriage returns and quotes, that ends in
// "/<major>.0" and contains "/packages/".
std::optional<std::filesystem::path> packageRootFromYak(const std::string& output, std::int64_t major);

// The absolute folders that one Grasshopper settings file lists as extra
// library folders, in order. Text that is not UTF-8 lists none.
std::vector<std::filesystem::path> listedFolders(std::string_view settingsText);

// Throws InstallError "The installer contains an invalid path." for a
// manifest path that begins with "/", holds a backslash or a ".." piece.
void checkManifestPath(const std::string& path);

}  // namespace nimbra
