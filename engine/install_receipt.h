#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

class FileManager;

// One item an install moved aside: where it was, and where it lies in the
// backup folder. Both are absolute paths without a trailing "/".
struct BackupItem {
  std::string original;
  std::string backup;
};

// One item a restore moves from an earlier backup folder back to its place.
struct RestoredItem {
  std::string from;
  std::string to;
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
