#pragma once

// What must hold before anyone is disturbed: the refusals an operation would
// meet, found before a running Rhino is asked to quit.

#include <filesystem>
#include <optional>
#include <vector>

#include "engine/operation.h"
#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

class Preflight {
 public:
  explicit Preflight(const InstallEngine& engine) : engine_(engine) {}

  // Throws, changing nothing and taking no lock, what the operation on
  // targets would first be refused with: another installation holding the
  // lock (ErrorKind::anotherInstallation); an interrupted install recovery
  // would refuse; for a restore, a backup folder (restoreFrom) it would
  // refuse; a folder it changes that it may not change (each target's
  // package root, or what exists of it, and the support folder) or a name
  // no receipt can record (not UTF-8); for an install, a newer version in a
  // destination, or too little free space.
  void check(Operation operation, const std::vector<RhinoTarget>& targets,
             const std::optional<std::filesystem::path>& restoreFrom = std::nullopt) const;

 private:
  void checkChangeable(Operation operation, const std::vector<RhinoTarget>& targets) const;
  void checkNoNewerVersion(const std::vector<RhinoTarget>& targets) const;

  const InstallEngine& engine_;
};

}  // namespace nimbra
