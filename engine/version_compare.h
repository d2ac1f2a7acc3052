#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace nimbra {

// Compares two texts from the left, a run of ASCII digits against a run of
// digits by numeric value (so "1.10.0" > "1.9.9"), any other character by its
// value; where one is a prefix of the other, the longer is greater. Digit runs
// that differ only by leading zeros are equal. Returns <0, 0 or >0.
int compareNumeric(std::string_view a, std::string_view b);

// The first "."-separated piece of text that is not empty, read as a decimal
// integer with an optional sign ("07" is 7); nothing when it is not one.
std::optional<std::int64_t> leadingInteger(std::string_view text);

// The part of a version before its first "-" (all of it when there is none).
std::string_view versionCore(std::string_view version);

}  // namespace nimbra
