#include <gtest/gtest.h>


#include "engine/install_engine.h"
#include "engine/link_guard.h"
#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;

std::string refusal(const InstallEngine& engine, const fs::path& url) {
  return testing::thrownMessage([&] { rejectLinks(engine.fileManager(), url); });
}

class LinkGuard : public ::testing::Test {
 protected:
  LinkGuard() { testing::writeRelease(root() / "Payload", Release{"1.0.0", {}}); }
  fs::path root() const { return folder_.path(); }

  testing::TemporaryFolder folder_;
};

TEST_F(LinkGuard, RefusesALinkAtEveryPositionOfAPathNamingTheInnermostAndPassesTheRest) {
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

  // Plain paths, missing paths and dangling links pass.
  testing::writeFile(root() / "plain/file", "x");
  fs::create_symlink(root() / "nowhere", root() / "dangling");
  EXPECT_EQ(refusal(engine, root() / "plain/file"), "");
  EXPECT_EQ(refusal(engine, root() / "plain/not/yet/there"), "");
  EXPECT_EQ(refusal(engine, root() / "dangling"), "");
  EXPECT_EQ(refusal(engine, "/"), "");
}

}  // namespace
}  // namespace nimbra
