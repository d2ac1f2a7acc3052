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

  // ---- The window as a user and a screen reader meet it.
  View& content() const { return *toolkit_.shownWindow()->content(); }
  // The view of type T a screen reader calls name: a shown one before a hidden one.
  // Ends the test when there is none.
  template <class T = Button>
  T& named(const std::string& name) const {
    T* view = dynamic_cast<T*>(namedView(name, [](View& view) { return dynamic_cast<T*>(&view) != nullptr; }));
    if (view == nullptr) throw std::runtime_error("nothing on screen is called \u201c" + name + "\u201d");
    return *view;
  }
  // Whether a shown label reads text.
  bool shows(const std::string& text) const;
  // Whether work is in progress: the progress bar is shown.
  bool busy() const { return !named<ProgressBar>("Progress").hidden(); }
  // The Rhinos' check boxes, in the list's order.
  std::vector<Button*> rhinoBoxes() const;

  nimbra::testing::InstallSandbox box_;
  std::filesystem::path systemApplications_;
  HeadlessToolkit toolkit_;
  std::unique_ptr<InstallerApp> app_;

 private:
  View* namedView(const std::string& name, const std::function<bool(View&)>& ofType) const;
};

}  // namespace nimbra::ui::testing
