#include <gtest/gtest.h>

#include <map>

#include "engine/install_engine.h"
#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;

std::string refusal(const InstallEngine& engine, const fs::path& url) {
  try {
    engine.rejectLinks(url);
  } catch (const InstallError& error) {
    return error.what();
  }
  return "";
}

class LinkGuard : public ::testing::Test {
 protected:
  LinkGuard() { testing::writeRelease(root() / "Payload", Release{"1.0.0", {}}); }
  fs::path root() const { return folder_.path(); }

  testing::TemporaryFolder folder_;
};

TEST_F(LinkGuard, RefusesALinkAtEveryPositionOfAPathAndNamesTheInnermost) {
  const fs::path path = root() / "a/b/c/d/file.gha";
  const std::vector<fs::path> components = {root() / "a", root() / "a/b", root() / "a/b/c", root() / "a/b/c/d",
                                            path};
  for (const fs::path& linked : components) {
    fs::remove_all(root() / "a");
    fs::remove_all(root() / "real");
    testing::writeFile(path, "x");
    // Replace the component by a link to a real copy of it.
    fs::rename(linked, root() / "real");
    fs::create_symlink(root() / "real", linked);
    const InstallEngine engine(root() / "Payload", root() / "home");
    EXPECT_EQ(refusal(engine, path), "Choose a folder without symbolic links: " + linked.string());
  }

  // Two links on the way: the one nearest the location is named.
  fs::create_symlink(root() / "a/b/c", root() / "outer");
  const InstallEngine engine(root() / "Payload", root() / "home");
  EXPECT_EQ(refusal(engine, root() / "outer/d/file.gha"),
            "Choose a folder without symbolic links: " + (root() / "outer/d/file.gha").string());
}

TEST_F(LinkGuard, PassesPlainPathsMissingPathsAndDanglingLinks) {
  testing::writeFile(root() / "plain/file", "x");
  fs::create_symlink(root() / "nowhere", root() / "dangling");
  const InstallEngine engine(root() / "Payload", root() / "home");
  EXPECT_EQ(refusal(engine, root() / "plain/file"), "");
  EXPECT_EQ(refusal(engine, root() / "plain/not/yet/there"), "");
  EXPECT_EQ(refusal(engine, root() / "dangling"), "");
  EXPECT_EQ(refusal(engine, "/"), "");
}

TEST_F(LinkGuard, StandardisesDotsBeforeWalkingUp) {
  testing::writeFile(root() / "real/file", "x");
  fs::create_symlink(root() / "real", root() / "link");
  const InstallEngine engine(root() / "Payload", root() / "home");
  EXPECT_EQ(refusal(engine, root() / "link/../real/./file"), "");
  EXPECT_EQ(refusal(engine, root() / "real/../link/file"),
            "Choose a folder without symbolic links: " + (root() / "link").string());
}

// Stands in for a machine whose /tmp, /var and /etc are links.
class SystemLinksFileManager : public FileManager {
 public:
  std::map<fs::path, fs::path> links;
  bool fileExists(const fs::path& path) const override {
    return links.count(path) || FileManager::fileExists(path);
  }
  bool isSymbolicLink(const fs::path& path) const override {
    return links.count(path) || FileManager::isSymbolicLink(path);
  }
  fs::path destinationOfSymbolicLink(const fs::path& path) const override {
    const auto found = links.find(path);
    return found != links.end() ? found->second : FileManager::destinationOfSymbolicLink(path);
  }
};

TEST_F(LinkGuard, AllowsOnlyTheStandardTmpAndVarLinks) {
  SystemLinksFileManager fm;
  fm.links = {{"/tmp", "private/tmp"}, {"/var", "private/var"}, {"/etc", "private/etc"}};
  const InstallEngine engine(root() / "Payload", root() / "home", fm);
  EXPECT_EQ(refusal(engine, "/tmp/x/y"), "");
  EXPECT_EQ(refusal(engine, "/var/folders/z"), "");
  EXPECT_EQ(refusal(engine, "/etc/hosts"), "Choose a folder without symbolic links: /etc");

  fm.links["/tmp"] = "/private/tmp";
  EXPECT_EQ(refusal(engine, "/tmp/x"), "Choose a folder without symbolic links: /tmp");
  fm.links["/tmp"] = "private/var";
  EXPECT_EQ(refusal(engine, "/tmp/x"), "Choose a folder without symbolic links: /tmp");
}

}  // namespace
}  // namespace nimbra
