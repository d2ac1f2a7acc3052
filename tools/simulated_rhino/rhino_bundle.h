#pragma once

// Builds simulated Rhino application bundles on disk.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <cstdint>
#include <string>

namespace nimbra::simulated {

struct RhinoBundle {
  std::int64_t major = 8;
  // Info values; nothing leaves the key out.
  std::optional<std::string> identifier = std::nullopt;// default: com.mcneel.rhinoceros.<major>
  std::optional<std::string> packageType = "APPL";
  std::optional<std::string> version = std::nullopt;// default: <major>.4.23346.11001
  std::string executableName = "Rhinoceros";
  bool binaryInfo = false;                 // a binary property list instead of XML
  bool runnable = true;                    // install the executable
  double quitDelaySeconds = 0;             // time taken to quit once asked
  // yak: nothing for no yak; otherwise the script prints yakOutput, waits
  // yakDelaySeconds and exits with yakStatus.
  std::optional<std::string> yakOutput = std::nullopt;
  double yakDelaySeconds = 0;
  int yakStatus = 0;
};

// Writes bundle at application (a folder ending in .app), replacing nothing.
void makeRhinoBundle(const std::filesystem::path& application, const RhinoBundle& bundle);

// Starts the bundle's executable and waits until it answers quit requests;
// returns its process id. The caller reaps it.
pid_t launchRhino(const std::filesystem::path& application, const std::string& executableName = "Rhinoceros");

}  // namespace nimbra::simulated
