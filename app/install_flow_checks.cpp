// What the install flow decides before anyone is asked to quit Rhino, and the
// words of its outcomes: which targets, the refusals, and nothing to do.

#include <algorithm>

#include "app/install_flow.h"
#include "engine/failure_text.h"
#include "engine/free_space.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

using State = InstallEngine::InstalledCopy::State;

}  // namespace

std::variant<InstallFlow::Choice, InstallFlow::Outcome> InstallFlow::choose(
    const InstallEngine& engine, const std::vector<fs::path>& applications, const std::vector<std::int64_t>& majors) {
  Choice choice{firstOfEachMajor(engine.discover()), {}};
  for (const fs::path& path : applications) {
    const std::string named = "\u201c" + pathText(path) + "\u201d";
    std::error_code error;
    const bool exists = fs::exists(path, error), folder = fs::is_directory(path, error);
    const std::optional<RhinoTarget> found = folder ? engine.target(path) : std::nullopt;
    if (!found) {
      return Outcome{Result::refused, named + (!exists  ? " does not exist."
                                               : !folder ? " is not a folder."
                                                         : " is not a Rhino 7 or Rhino 8 application.")};
    }
    locate(choice.listed, *found);
    choice.chosen.push_back(*found);
  }
  logDiscovery(engine, choice.listed);
  if (choice.listed.empty()) return Outcome{Result::noRhino, sentence::kNoRhino};
  for (const std::int64_t major : majors) {
    const auto found = std::find_if(choice.listed.begin(), choice.listed.end(),
                                    [&](const RhinoTarget& target) { return target.major == major; });
    if (found == choice.listed.end()) return Outcome{Result::noRhino, "Rhino " + std::to_string(major) + " was not found."};
    choice.chosen.push_back(*found);
  }
  if (choice.chosen.empty()) choice.chosen = choice.listed;
  std::stable_sort(choice.chosen.begin(), choice.chosen.end(), [](const auto& a, const auto& b) { return a.major < b.major; });
  choice.chosen = firstOfEachMajor(choice.chosen);
  return choice;
}

std::vector<RhinoTarget> InstallFlow::firstOfEachMajor(const std::vector<RhinoTarget>& discovered) {
  std::vector<RhinoTarget> kept;
  for (const RhinoTarget& target : discovered) {
    const bool seen = std::any_of(kept.begin(), kept.end(), [&](const auto& k) { return k.major == target.major; });
    if (!seen) kept.push_back(target);
  }
  return kept;
}

void InstallFlow::locate(std::vector<RhinoTarget>& targets, const RhinoTarget& found) {
  std::erase_if(targets, [&](const RhinoTarget& target) { return target.major == found.major; });
  targets.push_back(found);
  std::stable_sort(targets.begin(), targets.end(), [](const auto& a, const auto& b) { return a.major < b.major; });
}

std::string InstallFlow::versionsText(const std::vector<RhinoTarget>& targets) {
  std::string text;
  for (const RhinoTarget& target : targets) {
    text += (text.empty() ? "" : " and ") + ("Rhino " + std::to_string(target.major));
  }
  return text;
}

void InstallFlow::logDiscovery(const InstallEngine& engine, const std::vector<RhinoTarget>& targets) {
  if (targets.empty()) engine.log().write("Found no Rhino 7 or 8.");
  for (const RhinoTarget& target : targets) {
    engine.log().write("Found Rhino " + std::to_string(target.major) + " at " + pathText(target.application) +
                       ", packages in " + pathText(target.packageRoot));
  }
}

std::optional<std::pair<InstallFlow::Result, std::string>> InstallFlow::endBeforeQuitting(std::size_t listed) {
  try {
    if (const std::optional<std::string> refusal = sharedCopyRefusal(listed)) return {{Result::refused, *refusal}};
    restoreNamed_ = options_.restoreFrom.has_value();
    if (options_.operation == Operation::restore && !options_.restoreFrom) {
      options_.restoreFrom = engine_.newestCompleteBackup();
      if (!options_.restoreFrom) return {{Result::refused, "There is no finished backup of Nimbra to restore."}};
    }
    if (const std::optional<std::string> unchanged = nothingToDo()) return {{Result::unchanged, *unchanged}};
  } catch (const std::exception& error) {
    return {{Result::refused, describe(error)}};
  }
  if (engine_.anotherInstallationRunning()) return {{Result::anotherInstallation, std::string(kAnotherInstallationRunning)}};
  if (const std::optional<std::string> refusal = refusalOfTheTransaction()) return {{Result::failed, *refusal}};
  return std::nullopt;
}

std::optional<std::string> InstallFlow::sharedCopyRefusal(std::size_t listed) const {
  // With every listed Rhino updated, the engine moves the shared copy itself.
  if (options_.operation != Operation::install || selected_.size() >= listed ||
      engine_.scanLegacy(engine_.legacyRoots()).empty()) {
    return std::nullopt;
  }
  return std::string("The existing Nimbra copy is shared by Rhino 7 and 8. ") +
         (options_.audience == Audience::window ? "Select both versions for this update."
                                                : "Install both versions: --rhino 7 --rhino 8, or no --rhino.");
}

std::optional<std::string> InstallFlow::nothingToDo() {
  if (options_.operation == Operation::restore) return restoreChangesNothing();
  if (options_.operation == Operation::uninstall) {
    std::erase_if(selected_, [this](const RhinoTarget& target) {
      return engine_.installedCopy(target).state == State::notInstalled;
    });
    if (!selected_.empty()) return std::nullopt;
    return "Nimbra is not installed for " + versionsText(chosen_) + ".";
  }
  if (options_.reinstall) return std::nullopt;
  bool allUpToDate = true;
  for (const RhinoTarget& target : selected_) {
    const InstallEngine::InstalledCopy copy = engine_.installedCopy(target);
    allUpToDate = allUpToDate && copy.state == State::upToDate;
    if (copy.state == State::changed) {
      observer_.statusChanged("Rhino " + std::to_string(target.major) + ": " + copy.changed +
                              " differs from this installer's; installing again.");
    }
  }
  if (!allUpToDate) return std::nullopt;
  return "Nimbra " + engine_.release().version + " is already installed for " + versionsText(selected_) + ".";
}

std::optional<std::string> InstallFlow::restoreChangesNothing() const {
  const fs::path& folder = *options_.restoreFrom;
  const InstallReceipt receipt = engine_.backupReceipt(folder);
  if (receipt.state == receipt_state::kRestored) return InstallEngine::restoredAlready(folder);
  if (receipt.state == receipt_state::kComplete && receipt.backups.empty()) {
    return "This backup holds no earlier copy of Nimbra, so restoring it would change nothing: " + pathText(folder);
  }
  // Chosen for the person, the newest backup made by a restore would only
  // undo that restore: run twice, --restore does it once.
  if (!restoreNamed_ && !receipt.restoring.empty()) {
    return "The last change was a restore, of " + pathText(fs::path(receipt.restoring.front().from).parent_path()) +
           "; nothing more to restore. Name a backup folder to restore another.";
  }
  return std::nullopt;
}

std::optional<std::string> InstallFlow::refusalOfTheTransaction() const {
  try {
    engine_.checkRecoverable(selected_);
    if (options_.operation == Operation::restore) engine_.restorableReceipt(*options_.restoreFrom, selected_);
    engine_.checkChangeable(options_.operation, selected_);
    if (options_.operation != Operation::install) return std::nullopt;
    for (const RhinoTarget& target : selected_) {
      // The version folders alone decide: no need to verify every file here.
      const fs::path destination = target.destination();
      if (engine_.fileManager().isDirectory(destination) && engine_.newerVersionIn(destination)) {
        return InstallEngine::newerVersionInstalled(target.major);
      }
    }
    requireFreeSpace(engine_.fileManager(), engine_.release(), selected_);
  } catch (const std::exception& error) {
    return describe(error);
  }
  return std::nullopt;
}

std::string InstallFlow::doneText(const fs::path& backup) const {
  switch (options_.operation) {
    case Operation::restore:
      return "Restored the backup " + pathText(*options_.restoreFrom) +
             ". What it replaced is in the backup folder: " + pathText(backup);
    case Operation::uninstall: return "Removed Nimbra for " + versionsText(selected_) + ". Backup folder: " + pathText(backup);
    case Operation::install: break;
  }
  return "Installed Nimbra " + engine_.release().version + " for " + versionsText(selected_) +
         ". Backup folder: " + pathText(backup);
}

}  // namespace nimbra::ui
