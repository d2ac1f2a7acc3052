#include "app/cli/quit_watch.h"

#include <chrono>
#include <thread>

#include "app/install_flow.h"
#include "app/toolkit/toolkit.h"
#include "engine/failure_text.h"
#include "engine/install_log.h"
#include "engine/locations.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/own_locations.h"
#include "engine/platform/subprocess.h"
#include "engine/rhino_conventions.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

constexpr auto kInterval = std::chrono::milliseconds(250);

std::string pidList(const std::vector<pid_t>& pids) {
  std::string text;
  for (const pid_t pid : pids) text += (text.empty() ? "" : ",") + std::to_string(pid);
  return text;
}

std::vector<pid_t> pidsIn(const std::string& text) {
  std::vector<pid_t> pids;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    pids.push_back(static_cast<pid_t>(std::stol(text.substr(at, end - at))));
    at = end + 1;
  }
  return pids;
}

// Opens it again, as the attempt would have; says what happened in the log.
void reopen(const QuitWatch& watch, const QuitWatch::Application& application, const InstallLog& log) {
  try {
    if (application.environment.empty() && watch.onlyInItsSession) {
      throw std::runtime_error(sentence::kNotInItsSession);
    }
    SystemWorkspace::shared().launchApplication(application.bundle, application.environment);
    log.write("Opened again " + pathText(application.bundle) + " once it had quit, after the command line ended.");
  } catch (const std::exception& error) {
    log.write("Could not open " + pathText(application.bundle) + " again: " + describe(error));
  }
}

}  // namespace

void startQuitWatcher(const QuitWatch& watch) {
  std::vector<std::string> arguments = {kReopenAfterQuit, std::to_string(watch.seconds)};
  if (watch.onlyInItsSession) arguments.emplace_back("--only-in-its-session");
  for (const QuitWatch::Application& application : watch.applications) {
    arguments.insert(arguments.end(), {"--application", application.bundle.string(), "--pids", pidList(application.pids)});
    for (const std::string& entry : application.environment) arguments.insert(arguments.end(), {"--environment", entry});
  }
  launchDetached(currentExecutable(), arguments);
}

std::optional<QuitWatch> quitWatchFrom(const std::vector<std::string>& arguments) {
  try {
    if (arguments.size() < 2 || arguments[0] != kReopenAfterQuit) return std::nullopt;
    QuitWatch watch;
    watch.seconds = std::stod(arguments[1]);
    for (std::size_t i = 2; i < arguments.size(); ++i) {
      const bool last = i + 1 == arguments.size();
      if (arguments[i] == "--only-in-its-session") watch.onlyInItsSession = true;
      else if (arguments[i] == "--application" && !last) watch.applications.push_back({arguments[++i], {}, {}});
      else if (watch.applications.empty() || last) return std::nullopt;
      else if (arguments[i] == "--pids") watch.applications.back().pids = pidsIn(arguments[++i]);
      else if (arguments[i] == "--environment") watch.applications.back().environment.push_back(arguments[++i]);
      else return std::nullopt;
    }
    return watch;
  } catch (const std::exception&) {
    return std::nullopt;  // a number that is not one
  }
}

int runQuitWatcher(const QuitWatch& watch, const fs::path& home) {
  const InstallLog log(FileManager::standard(), home / rhino::kSupportFolder / "Logs");
  log.begin("Nimbra Setup, watching " + std::to_string(watch.applications.size()) +
            " Rhino still quitting after the command line ended");
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(watch.seconds);
  std::vector<QuitWatch::Application> quitting = watch.applications;
  while (true) {
    std::erase_if(quitting, [&](const QuitWatch::Application& application) {
      for (const pid_t pid : application.pids) {
        if (SystemWorkspace::shared().isProcessRunning(pid)) return false;
      }
      reopen(watch, application, log);
      return true;
    });
    if (quitting.empty() || std::chrono::steady_clock::now() >= end) break;
    std::this_thread::sleep_for(kInterval);
  }
  for (const QuitWatch::Application& application : quitting) {
    log.write(pathText(application.bundle) + " has not quit; it runs on.");
  }
  return 0;
}

}  // namespace nimbra::ui
