#include "engine/cross_volume_move.h"

#include "engine/failure_text.h"
#include "engine/install_log.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

CrossVolumeMove::CrossVolumeMove(FileManager& fm, const InstallLog& log, fs::path place, fs::path backup,
                                 CrossMove& move, std::function<void()> record)
    : fm_(fm),
      log_(log),
      place_(std::move(place)),
      backup_(std::move(backup)),
      aside_(move.aside),
      move_(move),
      record_(std::move(record)) {}

CrossMove CrossVolumeMove::begin(const fs::path& place) {
  return {pathText(newStagingFolder(location(place).parent_path())), std::string(cross_step::kSettingAside)};
}

CrossMove CrossVolumeMove::beginReturn(const fs::path& place) {
  return {pathText(newStagingFolder(location(place).parent_path())), std::string(cross_step::kKept)};
}

bool CrossVolumeMove::atPlace(const FileManager& fm, const CrossMove& move) {
  // Setting aside: the rename aside had not happened, or was undone.
  // Returning with nothing aside: the rename back has happened.
  return move.step == cross_step::kSettingAside || (move.step == cross_step::kReturning && !fm.fileExists(move.aside));
}

void CrossVolumeMove::advance(std::string_view step) {
  move_.step = step;
  record_();
}

bool CrossVolumeMove::removeIfThere(const fs::path& path, Leftover leftover) {
  if (!fm_.fileExists(path)) return true;
  try {
    fm_.removeItem(path);
    return true;
  } catch (const fs::filesystem_error& error) {
    // What is left of a copy that is whole elsewhere harms nobody (an aside
    // has a staging name, which the next install removes); anything that must
    // make way stops the move, naming the file.
    if (leftover == Leftover::mustGo) throw;
    log_.write("Left behind, its copy whole elsewhere: " + describe(error));
    return false;
  }
}

void CrossVolumeMove::toBackup() {
  if (move_.step == cross_step::kReturning) {
    if (fm_.fileExists(aside_)) {
      // The backup is still whole: recorded so before the aside goes, or a
      // cut would leave "returning" with nothing aside, which means back in
      // place.
      advance(cross_step::kKept);
      removeIfThere(aside_, Leftover::mayStay);
      return;
    }
    // Back at its place already: whatever is left of the backup goes first.
    removeIfThere(backup_, Leftover::mustGo);
    advance(cross_step::kSettingAside);
  }
  if (move_.step == cross_step::kSettingAside) {
    removeIfThere(backup_, Leftover::mustGo);  // a copy cut short
    if (!fm_.fileExists(aside_)) fm_.moveItem(place_, aside_);
    fm_.copyItem(aside_, backup_);
    fm_.makeCopiesDurable({backup_});
    advance(cross_step::kKept);
  }
  removeIfThere(aside_, Leftover::mayStay);
}

void CrossVolumeMove::toPlace() {
  if (move_.step == cross_step::kSettingAside) {
    removeIfThere(backup_, Leftover::mayStay);  // a copy cut short
    if (fm_.fileExists(aside_)) fm_.moveItem(aside_, place_);
    return;
  }
  if (move_.step == cross_step::kKept) {
    // Left over, or a copy back cut short; one that will not go is passed by
    // under a name of its own.
    if (!removeIfThere(aside_, Leftover::mayStay)) {
      move_.aside = beginReturn(place_).aside;
      aside_ = move_.aside;
      record_();
    }
    fm_.copyItem(backup_, aside_);
    fm_.makeCopiesDurable({aside_});
    advance(cross_step::kReturning);
  }
  if (fm_.fileExists(aside_)) fm_.moveItem(aside_, place_);
  removeIfThere(backup_, Leftover::mayStay);
}

}  // namespace nimbra
