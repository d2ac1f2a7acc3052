#include "app/toolkit/desktop_settings.h"

#include <cstdlib>
#include <fstream>
#include <string>

#include "engine/platform/subprocess.h"
#include "engine/platform/own_locations.h"
#include "engine/platform/unicode.h"

namespace nimbra::ui {

namespace fs = std::filesystem;

namespace {

bool gnomeAnimationsOff(const fs::path& gsettings) {
  try {
    const std::optional<Finished> answer =
        runWithTimeout(gsettings, {"get", "org.gnome.desktop.interface", "enable-animations"}, 2.0);
    return answer && answer->status == 0 && trimmedWhitespace(answer->output) == "false";
  } catch (const std::exception&) {
    return false;  // no GNOME here
  }
}

// The value of key in the [section] of an INI-style file, "" when absent.
std::string iniValue(const fs::path& file, const std::string& section, const std::string& key) {
  std::ifstream in(file);
  std::string current;
  for (std::string line; std::getline(in, line);) {
    line = trimmedWhitespace(line);
    if (line.starts_with('[')) {
      current = line;
      continue;
    }
    const std::size_t equals = line.find('=');
    if (current == "[" + section + "]" && equals != std::string::npos &&
        trimmedWhitespace(line.substr(0, equals)) == key) {
      return trimmedWhitespace(line.substr(equals + 1));
    }
  }
  return "";
}

}  // namespace

DesktopSettings desktopSettings() {
  DesktopSettings settings;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  settings.configHome = config != nullptr && *config == '/' ? fs::path(config) : homeFolder() / ".config";
  return settings;
}

bool desktopReducesMotion(const DesktopSettings& settings) {
  const std::string kde = iniValue(settings.configHome / "kdeglobals", "KDE", "AnimationDurationFactor");
  char* end = nullptr;
  if (std::strtod(kde.c_str(), &end) == 0 && end != kde.c_str()) return true;
  for (const char* gtk : {"gtk-3.0/settings.ini", "gtk-4.0/settings.ini"}) {
    const std::string value = iniValue(settings.configHome / gtk, "Settings", "gtk-enable-animations");
    if (value == "false" || value == "0") return true;
  }
  return gnomeAnimationsOff(settings.gsettings);
}

}  // namespace nimbra::ui
