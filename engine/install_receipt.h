#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

class FileManager;

// How far a move between two file systems has come, for an item that one
// rename cannot carry: the item is renamed aside beside its place (a staging
// name), copied, and only then removed. step says which copy is whole.
struct CrossMove {
  std::string aside;
  std::string step;  // one of cross_step
};

namespace cross_step {
// Being renamed aside and copied to the backup: the whole copy is at the
// place or aside; the backup may be partial.
inline constexpr std::string_view kSettingAside = "setting-aside";
// The backup is whole; whatever is aside is left over.
inline constexpr std::string_view kKept = "kept";
// The aside copy of the backup is whole and is renamed into the place next
// (or was); the backup is then left over.
inline constexpr std::string_view kReturning = "returning";
}  // namespace cross_step

// One item an install moved aside: where it was, and where it lies in the
// backup folder. Both are absolute paths without a trailing "/".
struct BackupItem {
  std::string original;
  std::string backup;
  std::optional<CrossMove> across = std::nullopt;  // only for a move between file systems
};

// One item a restore moves from an earlier backup folder back to its place.
struct RestoredItem {
  std::string from;
  std::string to;
  std::optional<CrossMove> across = std::nullopt;
};

// The write-ahead record of one install, kept as receipt.json in its backup
// folder and replaced whole at every write. A restore also lists, ahead of
// each move, what it moves back from an earlier backup ("restoring", written
// only when it has entries).
struct InstallReceipt {
  std::string version;
  std::string state;
  std::vector<std::string> destinations;
  std::vector<BackupItem> backups;
  std::vector<std::string> deploying = {};
  std::vector<RestoredItem> restoring = {};
};

namespace receipt_state {
inline constexpr std::string_view kPreparing = "preparing";
inline constexpr std::string_view kInstalling = "installing";
inline constexpr std::string_view kComplete = "complete";
inline constexpr std::string_view kRestored = "restored";
inline constexpr std::string_view kRecoveryRequired = "recovery-required";
}  // namespace receipt_state

inline constexpr std::string_view kReceiptName = "receipt.json";
inline constexpr std::string_view kBackupsFolder = "Backups";
// In the support folder: held for the whole of an install, uninstall or recovery.
inline constexpr std::string_view kLockFile = "install.lock";
// Why an install cannot start while another process holds that lock.
inline constexpr std::string_view kFolderNameNotUTF8 =
    "The installation record cannot be written: a folder name is not valid UTF-8.";
inline constexpr std::string_view kAnotherInstallationRunning = "Another Nimbra installation is already running.";

// Compact JSON, keys in the order "version", "state", "destinations",
// "backups" ("original", "backup"), "deploying".
std::string encodeReceipt(const InstallReceipt& receipt);

// Strict: all five keys (and both keys of every backup) with their JSON
// types; unknown keys ignored. Throws DecodingError.
InstallReceipt decodeReceipt(std::string_view bytes);

// Replaces <backupFolder>/receipt.json atomically and durably.
void writeReceipt(FileManager& fm, const std::filesystem::path& backupFolder, const InstallReceipt& receipt);

// "<UTC start time with '-' for ':'>-<first 8 characters of uuid>", e.g.
// 2025-03-07T14-05-09Z-9F1C2A7B.
std::string backupFolderName(std::chrono::system_clock::time_point start, std::string_view uuid);

// "<n>-<last component of original>": item n of a backup folder.
std::string backupItemName(std::size_t n, const std::filesystem::path& original);

}  // namespace nimbra
