#include "tools/simulated_rhino/rhino_bundle.h"

#include <plist/plist.h>
#include <signal.h>
#include <spawn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

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
    // A run as another user is given a copy it may read.
    const char* copy = std::getenv("NIMBRA_TEST_SIMULATED_RHINO");
    fs::copy_file(copy != nullptr ? copy : NIMBRA_SIMULATED_RHINO_EXECUTABLE, contents / "MacOS" / bundle.executableName);
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

pid_t launchRhino(const fs::path& application, const std::string& executableName) {
  const fs::path executable = application / "Contents/MacOS" / executableName;
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) throw std::system_error(errno, std::system_category(), "pipe");
  // The child gets the pipe as descriptor 3 and writes to it once it answers
  // quit requests: the caller waits for that, not for a guessed time.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
  std::vector<std::string> environment = {"NIMBRA_READY_FD=3"};
  for (char** entry = environ; *entry != nullptr; ++entry) environment.emplace_back(*entry);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::string argument0 = executable.string();
  char* argv[] = {argument0.data(), nullptr};
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, executable.c_str(), &actions, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(ready[1]);
  char byte = 0;
  if (error == 0) {
    while (::read(ready[0], &byte, 1) < 0 && errno == EINTR) {
    }
  }
  ::close(ready[0]);
  if (error != 0) throw std::system_error(error, std::system_category(), "launch " + executable.string());
  return pid;
}

}  // namespace nimbra::simulated
