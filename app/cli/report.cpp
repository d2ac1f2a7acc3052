#include "app/cli/report.h"

#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli/command_line.h"
#include "engine/locations.h"
#include "engine/platform/unicode.h"

namespace nimbra::ui {

void Report::line(const std::string& text) {
  if (!json_) out_ << repairedUTF8(text) << std::endl;
}

int Report::finish(const Outcome& outcome) {
  lastMessage_ = outcome.message;
  if (!json_) {
    // A folder name need not be UTF-8; what is printed always is.
    if (outcome.printedAsText) (outcome.exitStatus == kDone ? out_ : err_) << repairedUTF8(outcome.message) << "\n";
    return outcome.exitStatus;
  }
  const auto optional = [](const auto& value) { return value ? nlohmann::json(*value) : nlohmann::json(); };
  nlohmann::json targets = nlohmann::json::array();
  for (const Target& entry : outcome.targets) {
    targets.push_back({{"major", entry.target.major},
                       {"application", pathText(entry.target.application)},
                       {"packageFolder", pathText(entry.target.packageRoot)},
                       {"installedVersion", optional(entry.installedVersion)}});
  }
  const std::optional<std::string> backup =
      outcome.backupFolder ? std::optional(pathText(*outcome.backupFolder)) : std::nullopt;
  const nlohmann::json document = {{"outcome", outcome.outcome},   {"message", outcome.message},
                                   {"version", optional(version_)}, {"targets", targets},
                                   {"backupFolder", optional(backup)}, {"exitStatus", outcome.exitStatus}};
  out_ << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  return outcome.exitStatus;
}

}  // namespace nimbra::ui
