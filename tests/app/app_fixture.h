#pragma once

// An InstallerApp on the headless toolkit, in a sandbox: the application
// folder with its payload and logo, a home folder, simulated Rhino bundles,
// and a workspace whose running applications the test controls.

#include <gtest/gtest.h>

#include <memory>

#include "app/installer_app.h"
#include "app/toolkit/headless/headless_toolkit.h"
#include "tests/support/install_sandbox.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra::ui::testing {

class AppTest : public ::testing::Test {
 protected:
  AppTest();
  // Every alert any test provoked reads as a sentence, not a library's text.
  void TearDown() override;

  // A simulated Rhino in the sandbox's ~/Applications (or at an absolute path).
  std::filesystem::path addRhino(std::int64_t major, const std::string& name);
  // Starts the app and, unless told otherwise, lets discovery finish.
  void launch(bool finishDiscovery = true);
  InstallerApp::EngineFactory engineFactory();
  // Presses Install, lets the wait's first tick pass and runs the install job.
  void installNow();

  // The labels' texts below a view, depth first.
  static std::vector<std::string> texts(const View& view);

  nimbra::testing::InstallSandbox box_;
  std::filesystem::path systemApplications_;
  HeadlessToolkit toolkit_;
  std::unique_ptr<InstallerApp> app_;
};

}  // namespace nimbra::ui::testing
