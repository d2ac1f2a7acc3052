#include "engine/json_fields.h"

#include <cmath>

#include "engine/install_error.h"

namespace nimbra::json {

namespace {

constexpr int kMaxDepth = 32;

std::string field(const char* key) { return std::string("the field \u201c") + key + "\u201d"; }

// Where byte lies, as people count: "line 3, column 7".
std::string position(std::string_view bytes, std::size_t byte) {
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < byte && i < bytes.size(); ++i) {
    if (bytes[i] == '\n') ++line, column = 0;
    ++column;
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

}  // namespace

nlohmann::json parse(std::string_view bytes) {
  const nlohmann::json::parser_callback_t limitDepth = [](int depth, nlohmann::json::parse_event_t,
                                                          nlohmann::json&) {
    if (depth > kMaxDepth) throw DecodingError("it is nested too deeply");
    return true;
  };
  try {
    return nlohmann::json::parse(bytes.begin(), bytes.end(), limitDepth);
  } catch (const nlohmann::json::parse_error& error) {
    // parse_error's byte is the 1-based position where reading stopped.
    const std::size_t at = error.byte > 0 ? error.byte - 1 : 0;
    if (at >= bytes.size()) throw DecodingError("it ends too soon, at " + position(bytes, bytes.size()));
    throw DecodingError("something unexpected stands at " + position(bytes, at));
  } catch (const nlohmann::json::exception&) {
    throw DecodingError("it is not JSON text");
  }
}

void requireObject(const nlohmann::json& value, const char* what) {
  if (!value.is_object()) throw DecodingError(std::string(what) + " is not a set of named fields");
}

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
  const auto found = object.find(key);
  if (found == object.end()) throw DecodingError(field(key) + " is missing");
  return *found;
}

std::string string(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  if (!value.is_string()) throw DecodingError(field(key) + " is not text");
  return value.get<std::string>();
}

std::int64_t integer(const nlohmann::json& object, const char* key) {
  const nlohmann::json& value = member(object, key);
  const std::string notInteger = field(key) + " is not a whole number";
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
  if (!value.is_array()) throw DecodingError(field(key) + " is not a list");
  return value;
}

std::vector<std::string> strings(const nlohmann::json& object, const char* key) {
  std::vector<std::string> texts;
  for (const nlohmann::json& value : array(object, key)) {
    if (!value.is_string()) throw DecodingError(field(key) + " holds something that is not text");
    texts.push_back(value.get<std::string>());
  }
  return texts;
}

}  // namespace nimbra::json
