#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

bool isValidUTF8(std::string_view text);

// Canonical composition (NFC). Text that is not valid UTF-8 comes back as it
// is, so two such texts compare by their bytes.
std::string nfc(std::string_view text);

// Replaces every ill-formed UTF-8 sequence by U+FFFD.
std::string repairedUTF8(std::string_view bytes);

// Removes Unicode white space and line breaks at both ends.
std::string trimmedWhitespace(std::string_view text);

// Splits at every line break: LF, VT, FF, CR, NEL, LS, PS (CR LF counts once).
std::vector<std::string> splitLines(std::string_view text);

}  // namespace nimbra
