// What the install flow decides before anyone is asked to quit Rhino: the
// refusals, and nothing to do (and, beside it, what --check answers).

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

std::optional<std::pair<InstallFlow::Result, std::string>> InstallFlow::endBeforeQuitting(const Choice& choice) {
  try {
    if (const std::optional<std::string> refusal = sharedCopyRefusal(choice)) return {{Result::refused, *refusal}};
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

std::optional<std::string> InstallFlow::sharedCopyRefusal(const Choice& choice) const {
  // With every listed Rhino updated, the engine moves the shared copy itself.
  if (options_.operation != Operation::install || choice.chosen().size() >= choice.listed().size() ||
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
  // The rule --check answers with: nothing to do where every copy is whole.
  const Check found = check(engine_, Choice(selected_, selected_));
  for (std::size_t i = 0; i < found.copies.size(); ++i) {
    if (found.copies[i].state != State::changed) continue;
    observer_.statusChanged("Rhino " + std::to_string(selected_[i].major) + ": " + found.copies[i].changed +
                            " differs from this installer's; installing again.");
  }
  if (found.outcome.result != Result::unchanged) return std::nullopt;
  return "Nimbra " + engine_.release().version + " is already installed for " + versionsText(selected_) + ".";
}

InstallFlow::Check InstallFlow::check(const InstallEngine& engine, const Choice& choice) {
  Check check;
  std::vector<RhinoTarget> changing;
  std::optional<std::int64_t> newer;
  for (const RhinoTarget& target : choice.chosen()) {
    check.copies.push_back(engine.installedCopy(target));
    if (check.copies.back().state != State::upToDate) changing.push_back(target);
    if (check.copies.back().state == State::newer && !newer) newer = target.major;
  }
  if (newer) {
    check.outcome = {Result::failed, Operation::install, InstallEngine::newerVersionInstalled(*newer)};
  } else if (changing.empty()) {
    check.outcome = {Result::unchanged, Operation::install,
                     "Nimbra " + engine.release().version + " is up to date for " + versionsText(choice.chosen()) + "."};
  } else {
    check.outcome = {Result::wouldChange, Operation::install,
                     "An install would change Nimbra for " + versionsText(changing) + "."};
  }
  return check;
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

}  // namespace nimbra::ui
