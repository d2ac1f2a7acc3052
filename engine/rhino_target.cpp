#include "engine/rhino_target.h"

#include "engine/locations.h"
#include "engine/rhino_conventions.h"

namespace nimbra {

std::filesystem::path RhinoTarget::destination() const {
  return location(packageRoot) / rhino::kDestinationName;
}

}  // namespace nimbra
