#pragma once

// The one place where a failure becomes the text people see: the window's
// alert, the command line and the install log all show describe(error).

#include <exception>
#include <string>

namespace nimbra {

// An InstallError's or DecodingError's own sentence, unchanged. A file-system
// or launch failure as a sentence that says what could not be done, to which
// file or folder (its whole path in typographic quotes) and why, in plain
// words; the system's own reason where there is no plainer one. Anything else
// by its own description.
std::string describe(const std::exception& error);
std::string describe(const std::exception_ptr& error);

}  // namespace nimbra
