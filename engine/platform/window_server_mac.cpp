#include "engine/platform/window_server.h"

#include <dlfcn.h>

#include <cstdint>

namespace nimbra {

// The Security framework, reached at run time, so that the command line
// links only libSystem.
bool hasWindowServer() {
  using SessionGetInfo = std::int32_t (*)(std::uint32_t session, std::uint32_t* id, std::uint32_t* attributes);
  constexpr std::uint32_t kCallerSession = 0xFFFFFFFF;  // callerSecuritySession
  constexpr std::uint32_t kGraphicAccess = 0x0010;      // sessionHasGraphicAccess
  void* security = ::dlopen("/System/Library/Frameworks/Security.framework/Security", RTLD_LAZY | RTLD_LOCAL);
  const auto get = security != nullptr ? reinterpret_cast<SessionGetInfo>(::dlsym(security, "SessionGetInfo")) : nullptr;
  std::uint32_t id = 0, attributes = 0;
  return get != nullptr && get(kCallerSession, &id, &attributes) == 0 && (attributes & kGraphicAccess) != 0;
}

}  // namespace nimbra
