// Nimbra Setup: one window that installs the Nimbra plug-in into Rhino 7 and 8.

#include "app/installer_app.h"
#include "app/toolkit/qt/qt_toolkit.h"

int main(int argc, char** argv) {
  nimbra::ui::QtToolkit toolkit(argc, argv);
  nimbra::ui::InstallerApp app(toolkit);
  toolkit.run(app);
  return 0;
}
