#include "engine/platform/identifiers.h"

#include <pwd.h>
#include <unistd.h>
#include <uuid/uuid.h>

#if NIMBRA_MAC
#include <mach-o/dyld.h>
#endif

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace nimbra {

std::string newUUID() {
  uuid_t uuid;
  uuid_generate_random(uuid);
  char text[37];
  uuid_unparse_upper(uuid, text);
  return text;
}

std::string iso8601(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm parts{};
  gmtime_r(&seconds, &parts);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return std::string(text, length);
}

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

bool isPersonId(uid_t id, PersonIds ids) { return id >= ids.first && id != ids.nobody; }

}  // namespace nimbra
