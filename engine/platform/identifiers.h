#pragma once

// Names made unique: a random UUID, and a time stamp to the second.

#include <chrono>
#include <string>

namespace nimbra {

// A new random UUID in its standard 36-character form, upper-case hexadecimal.
std::string newUUID();

// ISO 8601 internet date-time in UTC with "Z", to the second:
// 2025-03-07T14:05:09Z.
std::string iso8601(std::chrono::system_clock::time_point time);

}  // namespace nimbra
