#include "tools/simulated_rhino/rhino_bundle.h"

#include <plist/plist.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace nimbra::simulated {

namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string infoPlist(const RhinoBundle& bundle) {
  plist_t info = plist_new_dict();
  const auto set = [&](const char* key, const std::optional<std::string>& value) {
    if (value) plist_dict_set_item(info, key, plist_new_string(value->c_str()));
  };
  const std::string major = std::to_string(bundle.major);
  set("CFBundleIdentifier", bundle.identifier.value_or("com.mcneel.rhinoceros." + major));
  set("CFBundlePackageType", bundle.packageType);
  set("CFBundleShortVersionString", bundle.version.value_or(major + ".4.23346.11001"));
  set("CFBundleExecutable", bundle.executableName);
  set("CFBundleName", std::string("Rhinoceros"));
  char* bytes = nullptr;
  uint32_t length = 0;
  if (bundle.binaryInfo) {
    plist_to_bin(info, &bytes, &length);
  } else {
    plist_to_xml(info, &bytes, &length);
  }
  plist_free(info);
  std::string text(bytes, length);
  std::free(bytes);
  return text;
}

void makeExecutable(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                            fs::perms::others_read | fs::perms::others_exec);
}

}  // namespace

void makeRhinoBundle(const fs::path& application, const RhinoBundle& bundle) {
  const fs::path contents = application / "Contents";
  write(contents / "Info.plist", infoPlist(bundle));
  write(contents / "Resources/quit-delay", std::to_string(bundle.quitDelaySeconds) + "\n");
  if (bundle.runnable) {
    fs::create_directories(contents / "MacOS");
    fs::copy_file(NIMBRA_SIMULATED_RHINO_EXECUTABLE, contents / "MacOS" / bundle.executableName);
    makeExecutable(contents / "MacOS" / bundle.executableName);
  }
  if (bundle.yakOutput) {
    const fs::path bin = contents / "Resources/bin";
    write(bin / "yak-output", *bundle.yakOutput);
    std::string script = "#!/bin/sh\n";
    if (bundle.yakDelaySeconds > 0) script += "sleep " + std::to_string(bundle.yakDelaySeconds) + "\n";
    script += "cat \"$(dirname \"$0\")/yak-output\"\nexit " + std::to_string(bundle.yakStatus) + "\n";
    write(bin / "yak", script);
    makeExecutable(bin / "yak");
  }
}

namespace {

// True once pid catches SIGTERM: from then on a quit request is answered.
bool catchesQuitRequest(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) return (std::stoull(line.substr(7), nullptr, 16) >> (SIGTERM - 1)) & 1;
  }
  return false;
}

}  // namespace

pid_t launchRhino(const fs::path& application, const std::string& executableName) {
  const fs::path executable = application / "Contents/MacOS" / executableName;
  std::string argument0 = executable.string();
  char* argv[] = {argument0.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, executable.c_str(), nullptr, nullptr, argv, environ);
  if (error != 0) throw std::system_error(error, std::system_category(), "launch " + executable.string());
  for (int i = 0; i < 500 && !catchesQuitRequest(pid); ++i) ::usleep(10'000);
  return pid;
}

}  // namespace nimbra::simulated
