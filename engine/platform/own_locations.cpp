#include "engine/platform/own_locations.h"

#include <pwd.h>
#include <unistd.h>

#if NIMBRA_MAC
#include <mach-o/dyld.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace nimbra {

std::filesystem::path homeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') return home;
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
    return found->pw_dir;
  }
  return "/";
}

std::filesystem::path currentExecutable() {
  std::error_code error;
#if NIMBRA_MAC
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> path(size + 1);
  if (_NSGetExecutablePath(path.data(), &size) != 0) return {};
  const std::filesystem::path resolved = std::filesystem::canonical(path.data(), error);
  return error ? std::filesystem::path(path.data()) : resolved;
#else
  return std::filesystem::read_symlink("/proc/self/exe", error);
#endif
}

}  // namespace nimbra
