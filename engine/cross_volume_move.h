#pragma once

// Moving an item between its place (a package or library folder) and a
// backup on another file system, where no single rename can carry it. Every
// step leaves one whole copy that the receipt names: the item at its place or
// renamed aside beside it (one durable rename), or the backup once its copy is
// durable and recorded whole. A cut or failure at any step is finished or
// undone from the receipt alone, by the same two calls, as often as needed.

#include <filesystem>
#include <functional>

#include "engine/install_receipt.h"

namespace nimbra {

class FileManager;
class InstallLog;

class CrossVolumeMove {
 public:
  // record writes the receipt that holds move, durably; place and backup are
  // the item's two ends.
  CrossVolumeMove(FileManager& fm, const InstallLog& log, std::filesystem::path place, std::filesystem::path backup,
                  CrossMove& move, std::function<void()> record);

  // A new move from place to backup: its aside name, recorded before any step.
  static CrossMove begin(const std::filesystem::path& place);
  // A new move from backup to place.
  static CrossMove beginReturn(const std::filesystem::path& place);

  // Ends with the item whole in the backup and nothing of it at its place.
  void toBackup();
  // Ends with the item whole at its place and nothing of it in the backup.
  void toPlace();

  // Whether what stands at the place now is the item itself (never moved, or
  // moved back), rather than whatever was put there after it left.
  static bool atPlace(const FileManager& fm, const CrossMove& move);

 private:
  enum class Leftover { mayStay, mustGo };
  // True when nothing is at path any more.
  bool removeIfThere(const std::filesystem::path& path, Leftover leftover);
  void advance(std::string_view step);

  FileManager& fm_;
  const InstallLog& log_;
  std::filesystem::path place_, backup_, aside_;
  CrossMove& move_;
  std::function<void()> record_;
};

}  // namespace nimbra
