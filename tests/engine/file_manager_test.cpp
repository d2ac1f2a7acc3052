#include <gtest/gtest.h>
#include <sys/stat.h>

#include <system_error>

#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::writeFile;

class FileManagerTest : public ::testing::Test {
 protected:
  fs::path at(const std::string& relative) const { return folder_.path() / relative; }

  template <typename Call>
  std::error_code errorOf(Call call) {
    try {
      call();
    } catch (const fs::filesystem_error& error) {
      return error.code();
    }
    return {};
  }

  testing::TemporaryFolder folder_;
  FileManager fm_;
};

TEST_F(FileManagerTest, MovesWithoutReplacingAndRemovesWithoutFollowingLinks) {
  writeFile(at("a"), "new");
  writeFile(at("b"), "old");
  EXPECT_EQ(errorOf([&] { fm_.moveItem(at("a"), at("b")); }), std::errc::file_exists);
  EXPECT_EQ(readFile(at("b")), "old");

  fs::create_directory(at("full"));
  writeFile(at("full/x"), "x");
  fs::create_directory(at("empty"));
  EXPECT_EQ(errorOf([&] { fm_.moveItem(at("full"), at("empty")); }), std::errc::file_exists);
  EXPECT_TRUE(fs::exists(at("full/x")));

  fm_.moveItem(at("full"), at("moved"));
  EXPECT_EQ(readFile(at("moved/x")), "x");
  EXPECT_FALSE(fs::exists(at("full")));

  // A tree goes whole, a link in it without what it points at.
  writeFile(at("keep/precious"), "p");
  writeFile(at("tree/sub/f"), "f");
  fs::create_directory_symlink(at("keep"), at("tree/sub/link"));
  fm_.removeItem(at("tree"));
  EXPECT_FALSE(fs::exists(at("tree")));
  EXPECT_EQ(readFile(at("keep/precious")), "p");
  EXPECT_EQ(errorOf([&] { fm_.removeItem(at("tree")); }), std::errc::no_such_file_or_directory);
}

TEST_F(FileManagerTest, AtomicWriteIntoAReadOnlyFolderFailsAndKeepsTheOldBytes) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directory(at("ro"));
  fm_.writeAtomically(at("ro/r"), "old");
  fs::permissions(at("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(errorOf([&] { fm_.writeAtomically(at("ro/r"), "new"); }), std::errc::permission_denied);
  EXPECT_EQ(readFile(at("ro/r")), "old");
}

TEST_F(FileManagerTest, NeverWritesMovesOrRemovesThroughALinkOnTheWay) {
  writeFile(at("real/inside"), "theirs");
  writeFile(at("mine"), "mine");
  writeFile(at("src/a"), "a");
  fs::create_directory_symlink(at("real"), at("link"));
  const std::errc loop = std::errc::too_many_symbolic_link_levels;
  EXPECT_EQ(errorOf([&] { fm_.createDirectory(at("link/new"), Intermediates::no); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.createDirectory(at("link/new/deeper"), Intermediates::yes); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.writeAtomically(at("link/receipt.json"), "x"); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.moveItem(at("link/inside"), at("taken")); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.moveItem(at("mine"), at("link/mine")); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.copyItem(at("src"), at("link/src")); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.removeItem(at("link/inside")); }), loop);
  EXPECT_EQ(std::distance(fs::directory_iterator(at("real")), fs::directory_iterator()), 1);
  EXPECT_EQ(readFile(at("real/inside")), "theirs");
  EXPECT_EQ(readFile(at("mine")), "mine");
  // The engine's own reads refuse the link as well, unless told to follow it.
  EXPECT_EQ(errorOf([&] { fm_.readWholeFile(at("link/inside")); }), loop);
  EXPECT_EQ(errorOf([&] { fm_.contentsOfDirectory(at("link")); }), loop);
  EXPECT_FALSE(fm_.walk(at("link"), Hidden::skip, [](const WalkEntry&) { return true; },
                        [](const fs::filesystem_error&) { return true; }));
  EXPECT_EQ(fm_.readWholeFile(at("link/inside"), 100, Links::follow), "theirs");
  fm_.removeItem(at("link"));  // the link itself goes, not what it points at
  EXPECT_EQ(readFile(at("real/inside")), "theirs");
}

}  // namespace
}  // namespace nimbra
