#pragma once

// Which user ids are people's accounts, not the system's.

#include <sys/types.h>

namespace nimbra {

// People's accounts: from first on, never nobody.
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

inline bool isPersonId(uid_t id, PersonIds ids = kPersonIds) { return id >= ids.first && id != ids.nobody; }

}  // namespace nimbra
