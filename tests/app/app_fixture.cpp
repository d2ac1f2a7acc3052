#include "tests/app/app_fixture.h"

namespace nimbra::ui::testing {

namespace fs = std::filesystem;

AppTest::AppTest() : systemApplications_(box_.home().parent_path() / "Applications") {
  fs::create_directories(systemApplications_);
  const fs::path resources = box_.resources().parent_path();
  nimbra::testing::writeFile(resources / "Nimbra.png", std::string("\x89PNG\r\n\x1a\n", 8) + "image");
  toolkit_.setResourcesFolder(resources);
  toolkit_.setHomeFolder(box_.home());
}

void AppTest::TearDown() {
  for (const HeadlessToolkit::Alert& alert : toolkit_.alerts()) {
    for (const char* noise : {"filesystem error", "json.exception", "["}) {
      EXPECT_EQ(alert.informative.find(noise), std::string::npos) << alert.informative;
    }
  }
}

fs::path AppTest::addRhino(std::int64_t major, const std::string& name) {
  const fs::path application = fs::path(name).is_absolute() ? fs::path(name) : box_.home() / "Applications" / name;
  simulated::makeRhinoBundle(application, {.major = major});
  return application;
}

InstallerApp::EngineFactory AppTest::engineFactory() {
  return [this](const fs::path& payload, const fs::path& home) {
    HostLocations host;
    host.systemApplications = systemApplications_;
    host.spotlightTool = "/nonexistent/mdfind";
    host.runningApplications = [this] { return toolkit_.runningApplications(); };
    return std::make_unique<InstallEngine>(payload, home, FileManager::standard(), host);
  };
}

void AppTest::launch(bool finishDiscovery) {
  app_ = std::make_unique<InstallerApp>(toolkit_, engineFactory());
  toolkit_.run(*app_);
  if (finishDiscovery) toolkit_.runBackgroundJobs();
}

void AppTest::installNow() {
  named("Install Nimbra").press();
  toolkit_.advance(0.25);
  toolkit_.runBackgroundJobs();
}

namespace {

// Every view below root, depth first.
void walk(View& root, const std::function<void(View&)>& visit) {
  for (const auto& child : root.subviews()) {
    visit(*child);
    walk(*child, visit);
  }
}

}  // namespace

View* AppTest::namedView(const std::string& name, const std::function<bool(View&)>& ofType) const {
  View* shown = nullptr;
  View* hidden = nullptr;
  walk(content(), [&](View& view) {
    if (view.accessibleName() != name || !ofType(view)) return;
    View*& found = view.hiddenOrInHidden() ? hidden : shown;
    if (found == nullptr) found = &view;
  });
  return shown != nullptr ? shown : hidden;
}

bool AppTest::shows(const std::string& text) const {
  bool found = false;
  walk(content(), [&](View& view) {
    found = found || (view.kind() == View::Kind::label && !view.hiddenOrInHidden() &&
                      static_cast<const Label&>(view).text() == text);
  });
  return found;
}

std::vector<Button*> AppTest::rhinoBoxes() const {
  std::vector<Button*> boxes;
  walk(content(), [&](View& view) {
    auto* box = dynamic_cast<Button*>(&view);
    if (box != nullptr && box->style() == Button::Style::checkbox && box->accessibleName().starts_with("Rhino ")) {
      boxes.push_back(box);
    }
  });
  return boxes;
}

}  // namespace nimbra::ui::testing
