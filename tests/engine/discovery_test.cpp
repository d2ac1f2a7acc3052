#include <gtest/gtest.h>

#include "engine/discovery.h"
#include "engine/install_engine.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/running_applications.h"
#include "tests/support/sandbox.h"
#include "tools/simulated_rhino/rhino_bundle.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using simulated::makeRhinoBundle;
using simulated::RhinoBundle;
using testing::writeFile;

class FindingRhino : public ::testing::Test {
 protected:
  FindingRhino() {
    testing::writeRelease(root() / "Payload", Release{"1.0.0", {}});
    host_.systemApplications = root() / "Applications";
    host_.spotlightTool = root() / "mdfind";
    host_.runningApplications = [this] { return running_; };
    fs::create_directories(host_.systemApplications);
  }
  fs::path root() const { return folder_.path(); }
  fs::path home() const { return root() / "home"; }
  fs::path userApplications() const { return home() / "Applications"; }
  InstallEngine engine() const { return InstallEngine(root() / "Payload", home(), FileManager::standard(), host_); }
  std::optional<RhinoTarget> targetFor(const RhinoBundle& bundle, const std::string& name = "Rhino.app") {
    const fs::path app = root() / "examined" / name;
    fs::remove_all(app);
    makeRhinoBundle(app, bundle);
    return Discovery(engine()).target(app);
  }
  std::optional<std::int64_t> majorOf(const RhinoBundle& bundle) {
    const std::optional<RhinoTarget> found = targetFor(bundle);
    return found ? std::optional(found->major) : std::nullopt;
  }
  fs::path packageRootWithYak(const std::string& output, int status = 0, std::int64_t major = 8) {
    RhinoBundle bundle{.major = major, .yakOutput = output, .yakStatus = status};
    return targetFor(bundle).value().packageRoot;
  }
  void spotlightPrints(const std::string& lines) {
    writeFile(host_.spotlightTool, "#!/bin/sh\nprintf '%s' '" + lines + "'\n");
    fs::permissions(host_.spotlightTool, fs::perms::owner_all);
  }
  static std::vector<std::string> applications(const std::vector<RhinoTarget>& targets) {
    std::vector<std::string> paths;
    for (const RhinoTarget& target : targets) paths.push_back(std::to_string(target.major) + " " + target.application.string());
    return paths;
  }

  testing::TemporaryFolder folder_;
  HostLocations host_;
  std::vector<RunningApplication> running_;
};

TEST_F(FindingRhino, AcceptsOnlyRhino7And8ByIdentifierPackageTypeAndVersion) {
  using Major = std::optional<std::int64_t>;
  EXPECT_EQ(majorOf({.major = 8}), Major(8));
  EXPECT_EQ(majorOf({.major = 7}), Major(7));
  EXPECT_EQ(majorOf({.major = 8, .version = "7.1"}), std::nullopt);
  EXPECT_EQ(majorOf({.identifier = "com.mcneel.rhinoceros", .version = "7.30"}), Major(7));
  EXPECT_EQ(majorOf({.identifier = "com.mcneel.rhinoceros", .version = "8.1"}), std::nullopt);
  EXPECT_EQ(majorOf({.identifier = "COM.McNeel.Rhinoceros.8"}), Major(8));
  EXPECT_EQ(majorOf({.identifier = "com.mcneel.rhinoceros.8.beta"}), std::nullopt);
  EXPECT_EQ(majorOf({.identifier = std::nullopt, .packageType = "APPL"}), Major(8)) << "the default identifier";
  EXPECT_EQ(majorOf({.packageType = "appl"}), std::nullopt);
  EXPECT_EQ(majorOf({.packageType = std::nullopt}), std::nullopt);
  for (const char* version : {"6.0", "9.0", " 8.1", "8a.1", "", "++8"}) {
    EXPECT_EQ(majorOf({.major = 8, .version = version}), std::nullopt) << version;
  }
  EXPECT_EQ(majorOf({.major = 7, .version = "07.3"}), Major(7));
  EXPECT_EQ(majorOf({.major = 8, .version = "..8.1"}), Major(8));
  EXPECT_EQ(majorOf({.major = 8, .version = "+8"}), Major(8));
  EXPECT_EQ(majorOf({.major = 8, .binaryInfo = true}), Major(8));
  EXPECT_EQ(majorOf({.major = 8, .runnable = false}), std::nullopt);
}

TEST_F(FindingRhino, TakesThePackageFolderFromTheFirstQualifyingYakLine) {
  const fs::path standard = engine().standardRoot(8);
  EXPECT_EQ(packageRootWithYak("Packages: /Users/ada/Library/packages/8.0\n"), "/Users/ada/Library/packages/8.0");
  EXPECT_EQ(packageRootWithYak("Installed in \"/Users/ada/packages/8.0\"  \r\n"), "/Users/ada/packages/8.0");
  EXPECT_EQ(packageRootWithYak("at '/a/packages/8.0'\xe2\x80\xa8/b/packages/8.0"), "/a/packages/8.0");
  EXPECT_EQ(packageRootWithYak("none here\n/x/packages/8.0/\n/y/stuff/8.0\n/z/packages/7.0\n"), standard);
  EXPECT_EQ(packageRootWithYak("/first/8.0\n/second/packages/8.0\n"), "/second/packages/8.0");
  EXPECT_EQ(packageRootWithYak("/Users/ada/packages/8.0\n", 1), standard);
  EXPECT_EQ(packageRootWithYak("/Users/ada/packages/7.0\n", 0, 7), "/Users/ada/packages/7.0");
}

// Both Applications folders to depth four, ordered by major, then by path
// with upper case first.
TEST_F(FindingRhino, WalksBothApplicationsFoldersToDepthFourOnlyInOrder) {
  makeRhinoBundle(host_.systemApplications / "Rhino 7.app", {.major = 7});
  makeRhinoBundle(host_.systemApplications / "a/b/c/Rhino 8.app", {.major = 8});      // depth 4
  makeRhinoBundle(host_.systemApplications / "a/b/c/d/Deep 8.app", {.major = 8});     // depth 5
  makeRhinoBundle(host_.systemApplications / ".hidden/Hidden 8.app", {.major = 8});
  makeRhinoBundle(host_.systemApplications / "Shouting 8.APP", {.major = 8});
  makeRhinoBundle(userApplications() / "Rhino 8.app", {.major = 8});
  makeRhinoBundle(userApplications() / "Rhino 8.app/Contents/Inner 8.app", {.major = 8});
  makeRhinoBundle(userApplications() / "b/Rhino 8.app", {.major = 8});
  makeRhinoBundle(userApplications() / "B/Rhino 8.app", {.major = 8});
  makeRhinoBundle(userApplications() / "z/Rhino 7.app", {.major = 7});
  EXPECT_EQ(applications(Discovery(engine()).discover()),
            (std::vector<std::string>{"7 " + (host_.systemApplications / "Rhino 7.app").string(),
                                      "7 " + (userApplications() / "z/Rhino 7.app").string(),
                                      "8 " + (host_.systemApplications / "a/b/c/Rhino 8.app").string(),
                                      "8 " + (userApplications() / "B/Rhino 8.app").string(),
                                      "8 " + (userApplications() / "Rhino 8.app").string(),
                                      "8 " + (userApplications() / "b/Rhino 8.app").string()}));
}

TEST_F(FindingRhino, AddsSpotlightsFindsAndRunningApplicationsOnceEach) {
  makeRhinoBundle(root() / "elsewhere/Rhino 8.app", {.major = 8});
  makeRhinoBundle(root() / "running/Rhino 7.app", {.major = 7});
  makeRhinoBundle(userApplications() / "Rhino 8.app", {.major = 8});
  spotlightPrints((root() / "elsewhere/Rhino 8.app").string() + "\n" + (userApplications() / "Rhino 8.app").string() +
                  "\n" + (root() / "elsewhere/Rhino 8.app").string() + " \nnot a path\n");
  running_ = {{101, root() / "running/Rhino 7.app", {}}, {102, userApplications() / "Rhino 8.app", {}}, {103, "", {}},
              {104, "/usr/lib/Other.app", {}}};
  EXPECT_EQ(applications(Discovery(engine()).discover()),
            (std::vector<std::string>{"7 " + (root() / "running/Rhino 7.app").string(),
                                      "8 " + (root() / "elsewhere/Rhino 8.app").string(),
                                      "8 " + (userApplications() / "Rhino 8.app").string()}));
}

}  // namespace
}  // namespace nimbra
