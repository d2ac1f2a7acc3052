#pragma once

#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "engine/platform/file_manager.h"

namespace nimbra::testing {

// The exit status of a process that FaultyFileManager ended on purpose.
inline constexpr int kCrashStatus = 86;

// A FileManager that counts and logs every mutating call and can make the
// n-th (from 1) fail with an errno, or end the process on the spot with
// _exit(kCrashStatus): no destructor, no clean-up, as a crash or power cut.
class FaultyFileManager : public FileManager {
 public:
  // May be called for several n.
  void failAt(int n, std::errc error = std::errc::io_error) { failures_[n] = error; }
  void crashAt(int n) { crashAt_ = n; }
  // Runs before the n-th mutation is carried out (or failed).
  void beforeMutation(std::function<void(int n, const std::string& entry)> hook) { hook_ = std::move(hook); }

  int mutations() const { return count_; }
  // One entry per mutating call, such as "move <from> -> <to>".
  const std::vector<std::string>& log() const { return log_; }

  void createDirectory(const std::filesystem::path& path, Intermediates intermediates) override;
  void writeAtomically(const std::filesystem::path& path, std::string_view bytes) override;
  void moveItem(const std::filesystem::path& from, const std::filesystem::path& to) override;
  void copyItem(const std::filesystem::path& from, const std::filesystem::path& to) override;
  void removeItem(const std::filesystem::path& path) override;
  void syncFileSystem(const std::filesystem::path& path) override;

 private:
  void step(const std::string& entry, const std::filesystem::path& path);

  int count_ = 0;
  int crashAt_ = 0;
  std::map<int, std::errc> failures_;
  std::function<void(int, const std::string&)> hook_;
  std::vector<std::string> log_;
};

}  // namespace nimbra::testing
