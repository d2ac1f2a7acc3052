#include "engine/install_log.h"

#include <chrono>

#include "engine/platform/file_manager.h"
#include "engine/platform/identifiers.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {
constexpr std::uint64_t kRotateAt = 1'000'000;
}

void InstallLog::write(const std::string& text) const {
  const std::lock_guard lock(mutex_);
  try {
    // Only beside what the installer has already made: a refusal before the
    // support folder exists leaves nothing behind, the log included.
    if (!fm_.isDirectory(folder_)) fm_.createDirectory(folder_, Intermediates::no);
    const fs::path current = file();
    if (fm_.fileExists(current) && fm_.fileSize(current) > kRotateAt) {
      const fs::path older = folder_ / "install.1.log";
      if (fm_.fileExists(older)) fm_.removeItem(older);
      fm_.moveItem(current, older);
    }
    fm_.appendToFile(current, iso8601(std::chrono::system_clock::now()) + "  " + text + "\n");
  } catch (const std::exception&) {
    // The log serves support; an install never stops for it.
  }
}

}  // namespace nimbra
