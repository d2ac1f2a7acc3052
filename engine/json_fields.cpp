#include "engine/json_fields.h"

#include <cmath>

#include "engine/install_error.h"

namespace nimbra::json {

namespace {
constexpr int kMaxDepth = 32;
}

nlohmann::json parse(std::string_view bytes) {
  const nlohmann::json::parser_callback_t limitDepth = [](int depth, nlohmann::json::parse_event_t,
                                                          nlohmann::json&) {
    if (depth > kMaxDepth) throw DecodingError("nesting is too deep.");
    return true;
  };
  try {
    return nlohmann::json::parse(bytes.begin(), bytes.end(), limitDepth);
  } catch (const nlohmann::json::exception& error) {
    throw DecodingError(std::string("not valid JSON (") + error.what() + ").");
  }
}

void requireObject(const nlohmann::json& value, const char* what) {
  if (!value.is_object()) throw DecodingError(std::string(what) + " is not an object.");
}

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw DecodingError(std::string("the key \"") + key + "\" is missing.");
  return *found;
}

std::string string(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  if (!value.is_string()) throw DecodingError(std::string("\"") + key + "\" is not a string.");
  return value.get<std::string>();
}

std::int64_t integer(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  const std::string notInteger = std::string("\"") + key + "\" is not a 64-bit integer.";
  if (value.is_number_integer()) {
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > std::uint64_t(INT64_MAX)) {
      throw DecodingError(notInteger);
    }
    return value.get<std::int64_t>();
  }
  // A number written with a fraction or exponent is still an integer when its
  // value is one, as in 8.0 or 1e3.
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (std::trunc(number) == number && number >= -9223372036854775808.0 && number < 9223372036854775808.0) {
      return static_cast<std::int64_t>(number);
    }
  }
  throw DecodingError(notInteger);
}

const nlohmann::json& array(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  if (!value.is_array()) throw DecodingError(std::string("\"") + key + "\" is not an array.");
  return value;
}

std::vector<std::string> strings(const nlohmann::json& object, const char* key) {
  std::vector<std::string> texts;
  for (const nlohmann::json& value : array(object, key)) {
    if (!value.is_string()) throw DecodingError(std::string("\"") + key + "\" holds a value that is not a string.");
    texts.push_back(value.get<std::string>());
  }
  return texts;
}

}  // namespace nimbra::json
