#pragma once

// Strict reading of the engine's JSON records: every required key present,
// exact JSON types, integers that fit 64 bits; unknown keys are ignored.
// Every failure is a DecodingError.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra::json {

// Parses bytes as one JSON document; refuses nesting deeper than a record
// can need, so absurd input fails fast instead of exhausting the stack.
nlohmann::json parse(std::string_view bytes);

const nlohmann::json& member(const nlohmann::json& object, const char* key);
std::string string(const nlohmann::json& object, const char* key);
std::int64_t integer(const nlohmann::json& object, const char* key);
const nlohmann::json& array(const nlohmann::json& object, const char* key);
std::vector<std::string> strings(const nlohmann::json& object, const char* key);
void requireObject(const nlohmann::json& value, const char* what);

}  // namespace nimbra::json
