#pragma once

namespace nimbra {

// Whether this process may show a window: on a Mac, whether its security
// session has graphic access (a command over ssh or from a deployment tool
// has none); on Linux, whether a display is named. Never throws.
bool hasWindowServer();

}  // namespace nimbra
