#pragma once

#include <stdexcept>
#include <string>

namespace nimbra {

// The engine's own failure: what() is the whole sentence shown to the user,
// nothing added. Platform failures are never converted into this type.
class InstallError : public std::runtime_error {
 public:
  explicit InstallError(const std::string& message) : std::runtime_error(message) {}
  std::string message() const { return what(); }
};

// A record file (release.json, receipt.json) that is not of its documented
// form. Thrown by the decoders; callers pass it on unchanged.
class DecodingError : public std::runtime_error {
 public:
  explicit DecodingError(const std::string& detail)
      : std::runtime_error("The data couldn't be read because it isn't in the correct format: " +
                           detail) {}
};

}  // namespace nimbra
