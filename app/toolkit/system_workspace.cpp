#include <system_error>

#include "app/toolkit/toolkit.h"
#include "engine/platform/own_locations.h"
#include "engine/platform/running_applications.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

fs::path bundleResources() { return (currentExecutable().parent_path() / "../Resources").lexically_normal(); }

SystemWorkspace& SystemWorkspace::shared() {
  static SystemWorkspace instance;
  return instance;
}

bool SystemWorkspace::isProcessRunning(pid_t pid) { return nimbra::isProcessRunning(pid); }

bool SystemWorkspace::terminateApplication(pid_t pid) { return requestQuit(pid); }

void SystemWorkspace::launchApplication(const fs::path& application, const std::vector<std::string>& environment) {
  openApplication(application, environment);
}

}  // namespace nimbra::ui
