#include "engine/version_compare.h"

#include <charconv>

namespace nimbra {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Takes the digit run at the front of text off it, without its leading zeros.
std::string_view takeNumber(std::string_view& text) {
  std::size_t end = 0;
  while (end < text.size() && isDigit(text[end])) ++end;
  std::string_view run = text.substr(0, end);
  text.remove_prefix(end);
  while (run.size() > 1 && run.front() == '0') run.remove_prefix(1);
  return run;
}

}  // namespace

int compareNumeric(std::string_view a, std::string_view b) {
  while (!a.empty() && !b.empty()) {
    if (isDigit(a.front()) && isDigit(b.front())) {
      const std::string_view x = takeNumber(a);
      const std::string_view y = takeNumber(b);
      // Without leading zeros, a longer run is a larger number; runs of equal
      // length compare digit by digit. No run is ever parsed, so none overflows.
      if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
      if (const int order = x.compare(y); order != 0) return order < 0 ? -1 : 1;
      continue;
    }
    // UTF-8 byte order is the order of the characters' values.
    const auto x = static_cast<unsigned char>(a.front());
    const auto y = static_cast<unsigned char>(b.front());
    if (x != y) return x < y ? -1 : 1;
    a.remove_prefix(1);
    b.remove_prefix(1);
  }
  if (a.empty() && b.empty()) return 0;
  return a.empty() ? -1 : 1;
}

std::optional<std::int64_t> leadingInteger(std::string_view text) {
  const std::size_t start = text.find_first_not_of('.');
  if (start == std::string_view::npos) return std::nullopt;
  std::string_view piece = text.substr(start, text.find('.', start) - start);
  const bool plus = piece.starts_with('+');
  if (plus) piece.remove_prefix(1);
  if (piece.empty() || (plus && piece.starts_with('-'))) return std::nullopt;
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  if (error != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
  return value;
}

std::string_view versionCore(std::string_view version) {
  return version.substr(0, version.find('-'));
}

}  // namespace nimbra
