#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

enum class Case { sensitive, insensitive };

// A compiled regular expression (PCRE2, UTF mode with Unicode properties, any
// Unicode line break as newline), which keeps the meaning of the installer's
// patterns for \d, caseless matching and "$", and never recurses on the stack
// per input character.
class Regex {
 public:
  // Throws std::invalid_argument when the pattern does not compile.
  Regex(std::string_view pattern, Case matching);
  ~Regex();
  Regex(Regex&&) noexcept;
  Regex& operator=(Regex&&) noexcept;

  // True when the pattern matches somewhere in text. Text that is not valid
  // UTF-8 never matches.
  bool search(std::string_view text) const;

  // Calls onMatch for every non-overlapping match, in order, with the text of
  // capture group 1 (nullopt when that group did not take part).
  void forEachMatch(std::string_view text,
                    const std::function<void(std::optional<std::string_view>)>& onMatch) const;

 private:
  struct Compiled;
  std::unique_ptr<Compiled> compiled_;
};

}  // namespace nimbra
