#include <system_error>

#include "app/toolkit/toolkit.h"
#include "engine/platform/bundle.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/running_applications.h"
#include "engine/platform/subprocess.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

fs::path bundleResources() {
  std::error_code error;
  const fs::path executable = fs::read_symlink("/proc/self/exe", error);
  return (executable.parent_path() / "../Resources").lexically_normal();
}

SystemWorkspace& SystemWorkspace::shared() {
  static SystemWorkspace instance;
  return instance;
}

bool SystemWorkspace::isProcessRunning(pid_t pid) { return nimbra::isProcessRunning(pid); }

void SystemWorkspace::terminateApplication(pid_t pid) { requestQuit(pid); }

void SystemWorkspace::launchApplication(const fs::path& application, const std::vector<std::string>& environment) {
  const std::optional<Bundle> bundle = Bundle::open(FileManager::standard(), application);
  const std::optional<fs::path> executable = bundle ? bundle->executable() : std::nullopt;
  if (!executable) {
    throw fs::filesystem_error("launch", application, std::make_error_code(std::errc::executable_format_error));
  }
  launchDetached(*executable, environment);
}

}  // namespace nimbra::ui
