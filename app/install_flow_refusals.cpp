// What the install flow decides before anyone is asked to quit Rhino: the
// refusals, and nothing to do (and, beside it, what --check answers).

#include <algorithm>

#include "app/install_flow.h"
#include "engine/backups.h"
#include "engine/failure_text.h"
#include "engine/install_receipt.h"
#include "engine/installed_copy.h"
#include "engine/legacy_copies.h"
#include "engine/locations.h"
#include "engine/preflight.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

using State = InstalledCopy::State;
using Verdict = InstallFlow::Check::Verdict;

}  // namespace

std::optional<std::pair<InstallFlow::Result, std::string>> InstallFlow::endBeforeQuitting(const Choice& choice) {
  try {
    if (auto refusal = refusalOfTheChoice(choice)) return refusal;
  } catch (const std::exception& error) {
    return {{Result::refused, describe(error)}};
  }
  try {
    Preflight(engine_).check(options_.operation, selected_, options_.restoreFrom);
  } catch (const std::exception& error) {
    return {{failureResult(error), describe(error)}};
  }
  return std::nullopt;
}

std::optional<std::pair<InstallFlow::Result, std::string>> InstallFlow::refusalOfTheChoice(const Choice& choice) {
  if (const std::optional<std::string> refusal = sharedCopyRefusal(choice)) return {{Result::refused, *refusal}};
  if (options_.operation == Operation::restore) {
    const auto decided = restoreDecision(engine_, options_.restoreFrom);
    if (const auto* nothing = std::get_if<std::string>(&decided)) return {{Result::unchanged, *nothing}};
    options_.restoreFrom = std::get<fs::path>(decided);
    return std::nullopt;
  }
  if (const std::optional<std::string> unchanged = nothingToDo()) return {{Result::unchanged, *unchanged}};
  return std::nullopt;
}

std::variant<fs::path, std::string> InstallFlow::restoreDecision(const InstallEngine& engine,
                                                                 const std::optional<fs::path>& named) {
  const std::optional<fs::path> folder = named ? named : Backups(engine).newestToRestore();
  if (!folder) return std::string("No backup folder holds an earlier copy of Nimbra: nothing to restore.");
  const InstallReceipt receipt = Backups(engine).backupReceipt(*folder);
  if (receipt.state == receipt_state::kRestored) return Backups::restoredAlready(*folder);
  // Chosen for the person, the newest backup made by a restore would only
  // undo that restore: run twice, --restore does it once.
  if (!named && !receipt.restoring.empty()) {
    return "The last change was a restore, of " + pathText(fs::path(receipt.restoring.front().from).parent_path()) +
           "; nothing more to restore. Name a backup folder to restore another.";
  }
  if (receipt.state == receipt_state::kComplete && receipt.backups.empty()) {
    return "This backup holds no earlier copy of Nimbra, so restoring it would change nothing: " + pathText(*folder);
  }
  return *folder;
}

InstallFlow::Result InstallFlow::failureResult(const std::exception& error) {
  return kindOf(error) == ErrorKind::anotherInstallation ? Result::anotherInstallation : Result::failed;
}

std::optional<std::string> InstallFlow::sharedCopyRefusal(const Choice& choice) const {
  // With every listed Rhino updated, the engine moves the shared copy itself.
  if (options_.operation != Operation::install || choice.chosen().size() >= choice.listed().size()) return std::nullopt;
  const LegacyCopies legacy(engine_);
  if (legacy.scanLegacy(legacy.legacyRoots()).empty()) return std::nullopt;
  return std::string("The existing Nimbra copy is shared by Rhino 7 and 8. ") +
         (options_.audience == Audience::window ? "Select both versions for this update."
                                                : "Install both versions: --rhino 7 --rhino 8, or no --rhino.");
}

std::optional<std::string> InstallFlow::nothingToDo() {
  if (options_.operation == Operation::uninstall) {
    // Only what is there is removed, and only for it is Rhino asked to quit.
    const Check found = checkUninstall(engine_, Choice(selected_, selected_));
    std::vector<RhinoTarget> installed;
    for (std::size_t i = 0; i < selected_.size(); ++i) {
      if (found.copies[i].state != State::notInstalled) installed.push_back(selected_[i]);
    }
    selected_ = std::move(installed);
    return found.verdict == Verdict::nothingToDo ? std::optional(found.message) : std::nullopt;
  }
  if (options_.reinstall) return std::nullopt;
  // The rule --check answers with: nothing to do where every copy is whole.
  const Check found = check(engine_, Choice(selected_, selected_));
  for (std::size_t i = 0; i < found.copies.size(); ++i) {
    if (found.copies[i].state != State::changed) continue;
    observer_.statusChanged("Rhino " + std::to_string(selected_[i].major) + ": " + found.copies[i].changed +
                            " differs from this installer's; installing again.");
  }
  if (found.verdict != Verdict::upToDate) return std::nullopt;
  return "Nimbra " + engine_.release().version + " is already installed for " + versionsText(selected_) + ".";
}

InstallFlow::Check InstallFlow::checkUninstall(const InstallEngine& engine, const Choice& choice) {
  Check check;
  std::vector<RhinoTarget> installed;
  const InstalledCopies copies(engine);
  for (const RhinoTarget& target : choice.chosen()) {
    check.copies.push_back(copies.installedCopy(target));
    if (check.copies.back().state != State::notInstalled) installed.push_back(target);
  }
  check.verdict = installed.empty() ? Verdict::nothingToDo : Verdict::wouldChange;
  check.message = installed.empty() ? "Nimbra is not installed for " + versionsText(choice.chosen()) + "."
                                    : "An uninstall would move Nimbra for " + versionsText(installed) + " into a backup folder.";
  return check;
}

InstallFlow::Check InstallFlow::check(const InstallEngine& engine, const Choice& choice) {
  Check check;
  std::vector<RhinoTarget> changing;
  std::optional<std::int64_t> newer;
  const InstalledCopies copies(engine);
  for (const RhinoTarget& target : choice.chosen()) {
    check.copies.push_back(copies.installedCopy(target));
    if (check.copies.back().state != State::upToDate) changing.push_back(target);
    if (check.copies.back().state == State::newer && !newer) newer = target.major;
  }
  if (newer) {
    check.verdict = Verdict::newerInstalled;
    check.message = InstalledCopies::newerVersionInstalled(*newer);
  } else if (changing.empty()) {
    check.verdict = Verdict::upToDate;
    check.message = "Nimbra " + engine.release().version + " is up to date for " + versionsText(choice.chosen()) + ".";
  } else {
    check.verdict = Verdict::wouldChange;
    check.message = "An install would change Nimbra for " + versionsText(changing) + ".";
  }
  return check;
}


}  // namespace nimbra::ui
