#include "engine/platform/window_server.h"

#include <cstdlib>
#include <initializer_list>

namespace nimbra {

bool hasWindowServer() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace nimbra
