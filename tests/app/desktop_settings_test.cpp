#include <gtest/gtest.h>

#include <cstdlib>

#include "app/toolkit/desktop_settings.h"
#include "tests/support/sandbox.h"

namespace nimbra::ui {
namespace {

namespace fs = std::filesystem;
using nimbra::testing::writeFile;

TEST(DesktopSettings, AnyDesktopThatAsksForLessMotionIsHeardWhereItKeepsItsSettings) {
  struct Case {
    const char* file;  // below the config folder
    const char* text;
    const char* gnome;  // what gsettings prints; null: not installed
    bool reduce;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, false},
      {nullptr, nullptr, "false\n", true},
      {"kdeglobals", "[General]\nAnimationDurationFactor=0\n", nullptr, false},
      {"kdeglobals", "[KDE]\nAnimationDurationFactor=0\n", nullptr, true},
      {"kdeglobals", "[KDE]\nAnimationDurationFactor = 0.5\n", nullptr, false},
      {"gtk-3.0/settings.ini", "[Settings]\ngtk-enable-animations = false\n", "true\n", true},
      {"gtk-4.0/settings.ini", "[Settings]\ngtk-enable-animations=0\n", nullptr, true},
  };
  for (const Case& c : cases) {
    nimbra::testing::TemporaryFolder folder;
    DesktopSettings settings{folder.path() / "no gsettings", folder.path() / "config"};
    if (c.file != nullptr) writeFile(settings.configHome / c.file, c.text);
    if (c.gnome != nullptr) {
      settings.gsettings = folder.path() / "gsettings";
      writeFile(settings.gsettings, std::string("#!/bin/sh\nprintf '") + c.gnome + "'\n");
      fs::permissions(settings.gsettings, fs::perms::owner_all);
    }
    EXPECT_EQ(desktopReducesMotion(settings), c.reduce)
        << (c.file ? c.file : "no file") << " " << (c.text ? c.text : "") << " gnome " << (c.gnome ? c.gnome : "-");
  }
  // The settings are read where the desktop says they are.
  nimbra::testing::TemporaryFolder folder;
  const char* home = std::getenv("HOME");
  const std::string saved = home != nullptr ? home : "";
  ::setenv("HOME", (folder.path() / "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (folder.path() / "elsewhere").c_str(), 1);
  EXPECT_EQ(desktopSettings().configHome, folder.path() / "elsewhere");
  ::setenv("XDG_CONFIG_HOME", "relative/is/ignored", 1);
  EXPECT_EQ(desktopSettings().configHome, folder.path() / "home/.config");
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace nimbra::ui
