#pragma once

// The install log: what every install, uninstall and recovery found and did,
// one line each, for the user to send to support. Kept in the support folder
// as Logs/install.log; past about 1 MB it becomes install.1.log (the one
// older file kept) and a new one begins.
//
// Every line is "<UTC time>  <process id>  <text>", written whole in one
// append, so two runs at once never split each other's lines and each run's
// lines can be told apart. A run's first line names it (see begin).

#include <sys/types.h>

#include <filesystem>
#include <mutex>
#include <string>

namespace nimbra {

class FileManager;

class InstallLog {
 public:
  InstallLog(FileManager& fm, std::filesystem::path folder);

  // What the run's first line says (its version, window or command line and
  // arguments), written before its first line of substance: a run that logs
  // nothing leaves no log behind.
  void begin(const std::string& run) const;
  // Appends the line, the log folder made first when it is missing. Writing
  // never fails to the caller: a log that cannot be written changes nothing
  // else (see firstFailure). Any thread.
  void write(const std::string& text) const;
  // The run's last line, only when the run wrote any.
  void end(const std::string& text) const;
  // Why the first line that could not be written was not; "" when all were.
  std::string firstFailure() const;

  std::filesystem::path file() const { return folder_ / "install.log"; }

 private:
  void append(const std::string& text) const;

  FileManager& fm_;
  std::filesystem::path folder_;
  mutable std::mutex mutex_;
  mutable std::string run_;
  mutable bool begun_ = false;
  mutable std::string failure_;
};

}  // namespace nimbra
