#pragma once

// What stands in a target's destination, read without changing anything and
// without the install lock: for a deployment tool's check, and so that the
// same install run twice does nothing the second time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

// The copy in a target's destination against this release.
struct InstalledCopy {
  enum class State { notInstalled, upToDate, older, newer, changed };
  State state = State::notInstalled;
  std::string version;  // as its manifest.txt says; "" when not installed or unreadable
  std::string changed;  // with State::changed: the first file that differs
};

class InstalledCopies {
 public:
  explicit InstalledCopies(const InstallEngine& engine) : engine_(engine) {}

  // Never throws.
  InstalledCopy installedCopy(const RhinoTarget& target) const;

  // The version that the target's installed copy says it is (its
  // manifest.txt), read alone: nothing verified, so a listing stays quick
  // whatever is installed. Nothing when nothing is installed, "unknown" when
  // it cannot be read. Never throws.
  std::optional<std::string> installedVersion(const RhinoTarget& target) const;

  // The first version folder listed in destination (a name, not hidden, that
  // begins with three runs of digits) whose version is above this release's:
  // the one evidence of a newer install, for the transaction's refusal and
  // installedCopy alike. Throws when destination cannot be listed.
  std::optional<std::string> newerVersionIn(const std::filesystem::path& destination) const;

  // "A newer Nimbra version is already installed for Rhino <major>."
  static std::string newerVersionInstalled(std::int64_t major);

 private:
  const InstallEngine& engine_;
};

}  // namespace nimbra
