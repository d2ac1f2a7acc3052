#include "app/cli/option_numbers.h"

namespace nimbra::ui {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::optional<std::uint64_t> parseWholeNumber(std::string_view text, std::uint64_t most) {
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (!isDigit(c)) return std::nullopt;
    const auto digit = static_cast<std::uint64_t>(c - '0');
    // Checked before it is added, so no input can wrap round.
    if (digit > most || value > (most - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<double> parseSeconds(std::string_view text, std::uint64_t most) {
  const std::size_t point = text.find('.');
  const std::optional<std::uint64_t> whole = parseWholeNumber(text.substr(0, point), most);
  if (!whole || point == std::string_view::npos) return whole ? std::optional<double>(static_cast<double>(*whole)) : std::nullopt;
  const std::string_view fraction = text.substr(point + 1);
  if (fraction.empty() || fraction.size() > 9) return std::nullopt;
  // The digits as one whole number, divided once: the nearest double to
  // what was written.
  const std::optional<std::uint64_t> digits = parseWholeNumber(fraction, 999'999'999);
  if (!digits) return std::nullopt;
  double scale = 1;
  for (std::size_t i = 0; i < fraction.size(); ++i) scale *= 10;
  const double value = static_cast<double>(*digits) / scale;
  if (*whole == most && value > 0) return std::nullopt;
  return static_cast<double>(*whole) + value;
}

}  // namespace nimbra::ui
