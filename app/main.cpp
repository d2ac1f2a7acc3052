// Nimbra Setup: one window that installs the Nimbra plug-in into Rhino 7 and
// 8, or the same without a window when given a command ("--help" lists them).

#include <iostream>

#include "app/cli/command_line.h"
#include "app/toolkit/toolkit.h"
#include "engine/platform/own_locations.h"
#if !defined(NIMBRA_COMMAND_LINE_ONLY)
#include "app/installer_app.h"
#include "app/toolkit/qt/qt_toolkit.h"
#include "app/visual_kit.h"
#endif

int main(int argc, char** argv) {
  if (nimbra::ui::wantsCommandLine(argc, argv)) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return nimbra::ui::runCommandLine(arguments, nimbra::ui::bundleResources() / "Payload", nimbra::homeFolder(), std::cout,
                                      std::cerr);
  }
#if defined(NIMBRA_COMMAND_LINE_ONLY)
  std::cerr << "This build of Nimbra Setup has no window. Install from the command line instead: run it with --help "
               "to see the commands, or with --install to install into every Rhino found.\n";
  return nimbra::ui::kUsage;
#else
  if (const std::optional<std::string> missing = nimbra::ui::missingDisplay()) {
    std::cerr << *missing << "\n";
    return nimbra::ui::kUsage;
  }
  nimbra::ui::QtToolkit toolkit(argc, argv, nimbra::ui::kTheme);
  nimbra::ui::InstallerApp app(toolkit);
  toolkit.run(app);
  return 0;
#endif
}
