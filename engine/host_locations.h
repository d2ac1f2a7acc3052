#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "engine/platform/running_applications.h"
#include "engine/rhino_conventions.h"

namespace nimbra {

// Where discovery looks beyond the home folder. The product uses the
// defaults; tests point them at folders, scripts and lists of their own.
struct HostLocations {
  std::filesystem::path systemApplications{std::string(rhino::kSystemApplications)};
  std::filesystem::path spotlightTool{std::string(rhino::kSpotlightTool)};
  std::function<std::vector<RunningApplication>()> runningApplications = nimbra::runningApplications;
};

}  // namespace nimbra
