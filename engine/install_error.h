#pragma once

#include <stdexcept>
#include <string>

namespace nimbra {

// What a caller may do about a failure, for those who choose by it (an exit
// status, an alert, a retry): never by a sentence's words, which may change.
enum class ErrorKind {
  failure,              // anything else: the platform's errors among them
  anotherInstallation,  // the install lock is held elsewhere; worth trying again later
  invalidVersion,       // the release's version is not of the form 1.2.3
  incompleteRollBack,   // a transaction failed and its roll-back could not put everything back
};

// The engine's own failure: what() is the whole sentence shown to the user,
// nothing added. Platform failures are never converted into this type.
class InstallError : public std::runtime_error {
 public:
  explicit InstallError(const std::string& message, ErrorKind kind = ErrorKind::failure)
      : std::runtime_error(message), kind_(kind) {}
  std::string message() const { return what(); }
  ErrorKind kind() const { return kind_; }

 private:
  ErrorKind kind_;
};

// A transaction's failure whose roll-back could not put everything back:
// what() says where the saved files are. Any other failure of a transaction
// leaves every file as it was.
class IncompleteRollBack : public InstallError {
 public:
  explicit IncompleteRollBack(const std::string& message) : InstallError(message, ErrorKind::incompleteRollBack) {}
};

// The kind of any failure: an InstallError's own, else ErrorKind::failure.
inline ErrorKind kindOf(const std::exception& error) {
  const auto* own = dynamic_cast<const InstallError*>(&error);
  return own != nullptr ? own->kind() : ErrorKind::failure;
}

// A record file (release.json, receipt.json) that is not of its documented
// form. what() is the sentence for the user, then on a line of its own where
// in plain words: the file once the reader knows it, and the line and column
// or the field. Thrown by the decoders; callers pass it on.
class DecodingError : public std::runtime_error {
 public:
  // detail: where, as a clause ("the field “state” is missing").
  explicit DecodingError(const std::string& detail, const std::string& file = "")
      : std::runtime_error("The data couldn't be read because it isn't in the correct format.\n" +
                           (file.empty() ? capitalized(detail) : "In \u201c" + file + "\u201d, " + detail) + "."),
        detail_(detail) {}
  // The same failure, named in file.
  DecodingError in(const std::string& file) const { return DecodingError(detail_, file); }

 private:
  static std::string capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
  }
  std::string detail_;
};

}  // namespace nimbra
