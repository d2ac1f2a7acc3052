#pragma once

// What the command line prints: progress lines, and at the end one outcome.
// Without --json the outcome is a sentence (standard output when the command
// did what it was asked, standard error otherwise); with --json it is one
// object, the same shape for every outcome:
//   outcome, message, version, targets [major, application, packageFolder,
//   installedVersion], backupFolder, exitStatus.

#include <filesystem>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "engine/rhino_target.h"

namespace nimbra::ui {

// "Nimbra 1.0.0", or "Nimbra not installed": a Rhino's line in a listing.
inline std::string installedText(const std::optional<std::string>& version) {
  return version ? "Nimbra " + *version : "Nimbra not installed";
}

class Report {
 public:
  struct Target {
    RhinoTarget target;
    std::optional<std::string> installedVersion;
  };
  struct Outcome {
    int exitStatus = 0;
    std::string outcome;  // a word a script can test: "installed", "unchanged", "refused", …
    std::string message;
    std::vector<Target> targets = {};
    std::optional<std::filesystem::path> backupFolder = std::nullopt;
    bool printedAsText = true;  // false: the lines said it all; only --json repeats it
  };

  Report(std::ostream& out, std::ostream& err, bool json) : out_(out), err_(err), json_(json) {}

  void setVersion(std::string version) { version_ = std::move(version); }
  // A line of progress; nothing under --json.
  void line(const std::string& text);
  // The outcome; returns its exit status.
  int finish(const Outcome& outcome);
  // The last sentence finished, for the install log.
  const std::string& lastMessage() const { return lastMessage_; }

 private:
  std::ostream& out_;
  std::ostream& err_;
  bool json_;
  std::optional<std::string> version_;
  std::string lastMessage_;
};

}  // namespace nimbra::ui
