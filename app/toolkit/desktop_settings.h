#pragma once

// The desktop's own "reduce motion" switch, wherever the desktop keeps it.

#include <filesystem>

namespace nimbra::ui {

// Where the settings are looked up; a test points both elsewhere.
struct DesktopSettings {
  std::filesystem::path gsettings = "/usr/bin/gsettings";  // GNOME's settings tool
  std::filesystem::path configHome;                        // $XDG_CONFIG_HOME, else ~/.config
};

// The platform's: gsettings where it is installed, the user's config folder.
DesktopSettings desktopSettings();

// True when any desktop asks for less motion: GNOME's enable-animations off,
// KDE's AnimationDurationFactor 0, or GTK's gtk-enable-animations off. A
// setting that cannot be read asks for nothing. Blocks at most two seconds.
bool desktopReducesMotion(const DesktopSettings& settings);

}  // namespace nimbra::ui
