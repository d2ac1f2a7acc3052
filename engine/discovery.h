#pragma once

// Finding Rhino: the Rhino 7 and 8 installations of the machine, and the
// package folder of each.

#include <filesystem>
#include <optional>
#include <vector>

#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

class Discovery {
 public:
  explicit Discovery(const InstallEngine& engine) : engine_(engine) {}

  // The Rhino 7 and 8 installations of the machine: the application folders
  // below /Applications and ~/Applications (to depth 4), Spotlight's finds and
  // the running applications, examined at once, sorted by major and then by
  // application path (NFC). Never fails; blocks while the tools run.
  std::vector<RhinoTarget> discover() const;

  // Whether a target's package folder is asked of the bundle's yak (8 s at
  // most), or taken to be the standard one (to recognise a running Rhino).
  enum class PackageRoot { askYak, standard };
  // The target for one application folder, or nothing when it is not a Rhino 7
  // or 8. Never fails.
  std::optional<RhinoTarget> target(const std::filesystem::path& application,
                                    PackageRoot packageRoot = PackageRoot::askYak) const;

 private:
  std::vector<RhinoTarget> examine(const std::vector<std::filesystem::path>& candidates) const;

  const InstallEngine& engine_;
};

}  // namespace nimbra
