#include "engine/receipt_undo.h"

#include "engine/cross_volume_move.h"
#include "engine/failure_text.h"
#include "engine/install_log.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

std::vector<std::string> undoReceipt(FileManager& fm, const InstallLog& log, InstallReceipt& receipt,
                                     const std::vector<fs::path>& deployed, const std::function<void()>& record,
                                     const UndoPolicy& policy) {
  std::vector<std::string> problems;
  const auto step = [&](const std::function<void()>& work) {
    if (!policy.keepGoing) return work();
    try {
      work();
    } catch (...) {
      problems.push_back(describe(std::current_exception()));
    }
  };
  const auto crossing = [&](const std::string& place, const std::string& backup, CrossMove& move) {
    return CrossVolumeMove(fm, log, place, backup, move, record);
  };
  const std::string name(policy.name);
  for (auto it = receipt.restoring.rbegin(); it != receipt.restoring.rend(); ++it) {
    if (!it->across && (!fm.fileExists(it->to) || fm.fileExists(it->from))) continue;  // never moved
    step([&] {
      if (it->across) crossing(it->to, it->from, *it->across).toBackup();
      else fm.moveItem(it->to, it->from);
      log.write(name + ": put " + it->to + " back in " + it->from);
    });
  }
  for (auto it = deployed.rbegin(); it != deployed.rend(); ++it) {
    step([&] {
      setAsideAndRemove(fm, *it);
      log.write(name + ": removed the " + std::string(policy.copies) + " copy at " + pathText(*it));
    });
  }
  for (auto it = receipt.backups.rbegin(); it != receipt.backups.rend(); ++it) {
    if (!it->across && !fm.fileExists(it->backup)) continue;  // never moved
    step([&] {
      if (policy.beforeReturn) policy.beforeReturn(it->original);
      if (it->across) crossing(it->original, it->backup, *it->across).toPlace();
      else fm.moveItem(it->backup, it->original);
      log.write(name + ": put " + it->backup + " back at " + it->original);
    });
  }
  return problems;
}

}  // namespace nimbra
