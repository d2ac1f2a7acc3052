// Which Rhinos an attempt is for, decided here for the window and the command
// line alike: what discovery found, an application located by hand, and the
// versions chosen of them.

#include <algorithm>

#include "app/install_flow.h"
#include "engine/discovery.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

void sortByMajor(std::vector<RhinoTarget>& targets) {
  std::stable_sort(targets.begin(), targets.end(), [](const auto& a, const auto& b) { return a.major < b.major; });
}

std::vector<RhinoTarget> firstOfEachMajor(const std::vector<RhinoTarget>& targets) {
  std::vector<RhinoTarget> kept;
  for (const RhinoTarget& target : targets) {
    const bool seen = std::any_of(kept.begin(), kept.end(), [&](const auto& k) { return k.major == target.major; });
    if (!seen) kept.push_back(target);
  }
  return kept;
}

}  // namespace

std::vector<RhinoTarget> InstallFlow::discover(const InstallEngine& engine) {
  std::vector<RhinoTarget> listed = firstOfEachMajor(Discovery(engine).discover());
  if (listed.empty()) engine.log().write("Found no Rhino 7 or 8.");
  for (const RhinoTarget& target : listed) {
    engine.log().write("Found Rhino " + std::to_string(target.major) + " at " + pathText(target.application) +
                       ", packages in " + pathText(target.packageRoot));
  }
  return listed;
}

std::variant<RhinoTarget, InstallFlow::Outcome> InstallFlow::locate(const InstallEngine& engine,
                                                                    const fs::path& application, Operation operation,
                                                                    Audience audience, std::vector<RhinoTarget>& listed) {
  std::error_code error;
  const bool exists = fs::exists(application, error), folder = fs::is_directory(application, error);
  const std::optional<RhinoTarget> found = folder ? Discovery(engine).target(application) : std::nullopt;
  if (!found) {
    // The window's open panel offers only applications; a path typed on the
    // command line may be anything.
    if (audience == Audience::window) return Outcome{Result::refused, operation, "Select the Rhino 7 or Rhino 8 application."};
    const std::string named = "\u201c" + pathText(application) + "\u201d";
    return Outcome{Result::refused, operation,
                   named + (!exists   ? " does not exist."
                            : !folder ? " is not a folder."
                                      : " is not a Rhino 7 or Rhino 8 application.")};
  }
  std::erase_if(listed, [&](const RhinoTarget& target) { return target.major == found->major; });
  listed.push_back(*found);
  sortByMajor(listed);
  return *found;
}

std::variant<InstallFlow::Choice, InstallFlow::Outcome> InstallFlow::choose(std::vector<RhinoTarget> listed,
                                                                           const std::vector<std::int64_t>& majors,
                                                                           Operation operation) {
  if (listed.empty()) return Outcome{Result::noRhino, operation, sentence::kNoRhino};
  std::vector<RhinoTarget> chosen;
  for (const std::int64_t major : majors) {
    const auto found = std::find_if(listed.begin(), listed.end(), [&](const RhinoTarget& target) { return target.major == major; });
    if (found == listed.end()) return Outcome{Result::noRhino, operation, "Rhino " + std::to_string(major) + " was not found."};
    chosen.push_back(*found);
  }
  if (chosen.empty()) chosen = listed;
  sortByMajor(chosen);
  chosen = firstOfEachMajor(chosen);
  return Choice(std::move(listed), std::move(chosen));
}

std::string InstallFlow::versionsText(const std::vector<RhinoTarget>& targets) {
  std::string text;
  for (const RhinoTarget& target : targets) {
    text += (text.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major));
  }
  return text;
}

}  // namespace nimbra::ui
