#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>

namespace nimbra {

// A new random UUID in its standard 36-character form, upper-case hexadecimal.
std::string newUUID();

// ISO 8601 internet date-time in UTC with "Z", to the second:
// 2025-03-07T14:05:09Z.
std::string iso8601(std::chrono::system_clock::time_point time);

// The user's home folder: $HOME, else the password database.
std::filesystem::path homeFolder();

// The running executable's own location (/proc/self/exe on Linux,
// _NSGetExecutablePath on a Mac), links resolved.
std::filesystem::path currentExecutable();

// Which user ids are people's accounts: from first on, never nobody.
struct PersonIds {
  uid_t first;
  uid_t nobody;
};
inline constexpr PersonIds kLinuxPersonIds{1000, 65534};
inline constexpr PersonIds kMacPersonIds{501, 4294967294u};  // nobody is -2 there
#if NIMBRA_MAC
inline constexpr PersonIds kPersonIds = kMacPersonIds;
#else
inline constexpr PersonIds kPersonIds = kLinuxPersonIds;
#endif
bool isPersonId(uid_t id, PersonIds ids = kPersonIds);

}  // namespace nimbra
