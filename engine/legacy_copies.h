#pragma once

// Older copies of the plug-in in Grasshopper's own library folders, where
// an install before this installer's time may have left them. An install
// moves them into its backup folder with the rest.

#include <filesystem>
#include <vector>

namespace nimbra {

class InstallEngine;

class LegacyCopies {
 public:
  explicit LegacyCopies(const InstallEngine& engine) : engine_(engine) {}

  // Grasshopper's fixed library folders, then every absolute folder that its
  // settings files list. Never fails; may hold duplicates and missing folders.
  std::vector<std::filesystem::path> legacyRoots() const;

  // The product's .gha files under roots, each once, sorted by path text.
  // Throws InstallError for a link inside a root, the rejectLinks error for a
  // root reached through a link, or the walk's file-system error.
  std::vector<std::filesystem::path> scanLegacy(const std::vector<std::filesystem::path>& roots) const;

  // True when file is a .gha (any case) of fewer than 30,000,000 bytes that
  // holds the plug-in identifier as UTF-16LE.
  static bool isNimbra(const std::filesystem::path& file);

 private:
  const InstallEngine& engine_;
};

}  // namespace nimbra
