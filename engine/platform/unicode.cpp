#include "engine/platform/unicode.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace nimbra {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Decodes one scalar at text[at]; returns its length, or -1 when ill-formed.
utf8proc_ssize_t decode(std::string_view text, std::size_t at, utf8proc_int32_t& scalar) {
  return utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + at),
                          static_cast<utf8proc_ssize_t>(text.size() - at), &scalar);
}

bool isWhitespace(utf8proc_int32_t c) {
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  const utf8proc_category_t category = utf8proc_category(c);
  return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
         category == UTF8PROC_CATEGORY_ZP;
}

bool isLineBreak(utf8proc_int32_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

}  // namespace

bool isValidUTF8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t scalar = 0;
    const utf8proc_ssize_t length = decode(text, at, scalar);
    if (length <= 0) return false;
    at += static_cast<std::size_t>(length);
  }
  return true;
}

std::string nfc(std::string_view text) {
  utf8proc_uint8_t* composed = nullptr;
  const utf8proc_ssize_t length =
      utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                   static_cast<utf8proc_ssize_t>(text.size()), &composed,
                   static_cast<utf8proc_option_t>(UTF8PROC_STABLE | UTF8PROC_COMPOSE));
  if (length < 0) return std::string(text);
  std::unique_ptr<utf8proc_uint8_t, decltype(&std::free)> owner(composed, &std::free);
  return std::string(reinterpret_cast<const char*>(composed), static_cast<std::size_t>(length));
}

std::string repairedUTF8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    utf8proc_int32_t scalar = 0;
    const utf8proc_ssize_t length = decode(bytes, at, scalar);
    if (length <= 0) {
      text.append(kReplacement);
      ++at;
    } else {
      text.append(bytes.substr(at, static_cast<std::size_t>(length)));
      at += static_cast<std::size_t>(length);
    }
  }
  return text;
}

std::string trimmedWhitespace(std::string_view text) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t scalar = 0;
    utf8proc_ssize_t length = decode(text, at, scalar);
    if (length <= 0) length = 1, scalar = -1;
    if (scalar < 0 || !isWhitespace(scalar)) {
      if (begin == text.size()) begin = at;
      end = at + static_cast<std::size_t>(length);
    }
    at += static_cast<std::size_t>(length);
  }
  return begin < end ? std::string(text.substr(begin, end - begin)) : std::string();
}

std::vector<std::string> splitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at = 0; at < text.size();) {
    utf8proc_int32_t scalar = 0;
    utf8proc_ssize_t length = decode(text, at, scalar);
    if (length <= 0) length = 1, scalar = -1;
    const std::size_t next = at + static_cast<std::size_t>(length);
    if (scalar >= 0 && isLineBreak(scalar)) {
      lines.emplace_back(text.substr(start, at - start));
      start = next;
    }
    at = next;
  }
  lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace nimbra
