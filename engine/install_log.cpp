#include "engine/install_log.h"

#include <unistd.h>

#include <chrono>

#include "engine/failure_text.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {
constexpr std::uint64_t kRotateAt = 1'000'000;
}

InstallLog::InstallLog(FileManager& fm, fs::path folder) : fm_(fm), folder_(std::move(folder)) {}

void InstallLog::begin(const std::string& run) const {
  const std::lock_guard lock(mutex_);
  run_ = run;
}

void InstallLog::write(const std::string& text) const {
  const std::lock_guard lock(mutex_);
  if (!begun_ && !run_.empty()) append(run_);
  begun_ = true;
  append(text);
}

void InstallLog::end(const std::string& text) const {
  const std::lock_guard lock(mutex_);
  if (begun_) append(text);
}

std::string InstallLog::firstFailure() const {
  const std::lock_guard lock(mutex_);
  return failure_;
}

void InstallLog::append(const std::string& text) const {
  try {
    // The first run on a machine logs what it found and why it refused, so
    // the folder is made (link-free, like every change) when first needed.
    if (!fm_.isDirectory(folder_)) fm_.createDirectory(folder_, Intermediates::yes);
    const fs::path current = file();
    if (fm_.fileExists(current) && fm_.fileSize(current) > kRotateAt) {
      const fs::path older = folder_ / "install.1.log";
      if (fm_.fileExists(older)) fm_.removeItem(older);
      fm_.moveItem(current, older);
    }
    const std::string line =
        iso8601(std::chrono::system_clock::now()) + "  " + std::to_string(::getpid()) + "  " + text + "\n";
    fm_.appendToFile(current, line);
  } catch (const std::exception& error) {
    // The log serves support; an install never stops for it.
    if (failure_.empty()) failure_ = describe(error);
  }
}

}  // namespace nimbra
