#pragma once

// The install log: what every install, uninstall and recovery found and did,
// one line each, for the user to send to support. Kept in the support folder
// as Logs/install.log; past about 1 MB it becomes install.1.log (the one
// older file kept) and a new one begins.

#include <filesystem>
#include <mutex>
#include <string>

namespace nimbra {

class FileManager;

class InstallLog {
 public:
  InstallLog(FileManager& fm, std::filesystem::path folder) : fm_(fm), folder_(std::move(folder)) {}

  // Appends "<UTC time>  <text>". Writing never fails to the caller: a log
  // that cannot be written changes nothing else. Any thread.
  void write(const std::string& text) const;
  std::filesystem::path file() const { return folder_ / "install.log"; }

 private:
  FileManager& fm_;
  std::filesystem::path folder_;
  mutable std::mutex mutex_;
};

}  // namespace nimbra
