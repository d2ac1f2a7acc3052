#include "engine/platform/regex.h"

#include <pcre2.h>

#include <stdexcept>

namespace nimbra {

struct Regex::Compiled {
  pcre2_code* code = nullptr;
  ~Compiled() { pcre2_code_free(code); }
};

namespace {

struct MatchData {
  explicit MatchData(const pcre2_code* code) : data(pcre2_match_data_create_from_pattern(code, nullptr)) {
    if (data == nullptr) throw std::bad_alloc();
  }
  ~MatchData() { pcre2_match_data_free(data); }
  pcre2_match_data* data;
};

PCRE2_SPTR subject(std::string_view text) { return reinterpret_cast<PCRE2_SPTR>(text.data()); }

}  // namespace

Regex::Regex(std::string_view pattern, Case matching) : compiled_(std::make_unique<Compiled>()) {
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (context == nullptr) throw std::bad_alloc();
  pcre2_set_newline(context, PCRE2_NEWLINE_ANY);
  uint32_t options = PCRE2_UTF | PCRE2_UCP;
  if (matching == Case::insensitive) options |= PCRE2_CASELESS;
  int error = 0;
  PCRE2_SIZE offset = 0;
  compiled_->code = pcre2_compile(subject(pattern), pattern.size(), options, &error, &offset, context);
  pcre2_compile_context_free(context);
  if (compiled_->code == nullptr) throw std::invalid_argument("The regular expression is invalid.");
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view text) const {
  MatchData match(compiled_->code);
  return pcre2_match(compiled_->code, subject(text), text.size(), 0, 0, match.data, nullptr) >= 0;
}

void Regex::forEachMatch(std::string_view text,
                         const std::function<void(std::optional<std::string_view>)>& onMatch) const {
  MatchData match(compiled_->code);
  PCRE2_SIZE start = 0;
  while (start <= text.size()) {
    const int found = pcre2_match(compiled_->code, subject(text), text.size(), start, 0, match.data, nullptr);
    if (found < 0) return;
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.data);
    if (found >= 2 && ovector[2] != PCRE2_UNSET) {
      onMatch(text.substr(ovector[2], ovector[3] - ovector[2]));
    } else {
      onMatch(std::nullopt);
    }
    // An empty match moves on by one character so the search ends.
    start = ovector[1] > ovector[0] ? ovector[1] : ovector[1] + 1;
    while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  }
}

}  // namespace nimbra
