#pragma once

#include <cstdint>
#include <filesystem>

namespace nimbra {

// One Rhino 7 or 8 installation that the product can be installed into.
struct RhinoTarget {
  std::int64_t major = 0;
  std::filesystem::path application;  // the .app folder, exactly as found
  std::filesystem::path packageRoot;  // where this Rhino keeps its packages

  // packageRoot + "nimbra": the folder the install deploys into.
  std::filesystem::path destination() const;
};

}  // namespace nimbra
