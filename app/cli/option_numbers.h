#pragma once

// Numbers given on the command line, read strictly: decimal digits only (no
// sign, no exponent, no spaces), within the option's range. Anything else,
// however large, is not a number for the option, so that a typo can never
// wrap round into a value that does something else.

#include <cstdint>
#include <optional>
#include <string_view>

namespace nimbra::ui {

// A whole number from 0 to most.
std::optional<std::uint64_t> parseWholeNumber(std::string_view text, std::uint64_t most);

// Seconds from 0 to most, whole or with a decimal fraction ("2.5"); no
// floating-point parsing, so it reads the same on every C++ library.
std::optional<double> parseSeconds(std::string_view text, std::uint64_t most);

}  // namespace nimbra::ui
