#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
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

TEST_F(FileManagerTest, MoveNeverReplacesAFileOrAnEmptyFolder) {
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
}

TEST_F(FileManagerTest, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
  fm_.writeAtomically(at("receipt.json"), "first");
  fm_.writeAtomically(at("receipt.json"), "second, longer");
  EXPECT_EQ(readFile(at("receipt.json")), "second, longer");
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_.path()), fs::directory_iterator()), 1);

  EXPECT_EQ(errorOf([&] { fm_.writeAtomically(at("missing/receipt.json"), "x"); }),
            std::errc::no_such_file_or_directory);
}

TEST_F(FileManagerTest, AtomicWriteIntoAReadOnlyFolderFailsAndKeepsTheOldBytes) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  fs::create_directory(at("ro"));
  fm_.writeAtomically(at("ro/r"), "old");
  fs::permissions(at("ro"), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(errorOf([&] { fm_.writeAtomically(at("ro/r"), "new"); }), std::errc::permission_denied);
  EXPECT_EQ(readFile(at("ro/r")), "old");
}

TEST_F(FileManagerTest, CreatesFoldersWithOrWithoutIntermediates) {
  fm_.createDirectory(at("a/b/c"), Intermediates::yes);
  EXPECT_TRUE(fs::is_directory(at("a/b/c")));
  fm_.createDirectory(at("a/b/c"), Intermediates::yes);
  EXPECT_EQ(errorOf([&] { fm_.createDirectory(at("a/b/c"), Intermediates::no); }), std::errc::file_exists);
  EXPECT_EQ(errorOf([&] { fm_.createDirectory(at("x/y"), Intermediates::no); }),
            std::errc::no_such_file_or_directory);
  writeFile(at("file"), "");
  EXPECT_NE(errorOf([&] { fm_.createDirectory(at("file"), Intermediates::yes); }), std::error_code());
  EXPECT_NE(errorOf([&] { fm_.createDirectory(at("file/sub"), Intermediates::yes); }), std::error_code());
}

TEST_F(FileManagerTest, CopiesTreesWithContentModesAndLinks) {
  writeFile(at("src/a.txt"), "alpha");
  writeFile(at("src/deep/er/b.bin"), std::string(3 << 20, '\x7f'));
  fs::create_directory(at("src/empty"));
  fs::permissions(at("src/a.txt"), fs::perms::owner_all);
  fs::create_symlink("a.txt", at("src/link"));

  fm_.copyItem(at("src"), at("dst"));
  EXPECT_EQ(readFile(at("dst/a.txt")), "alpha");
  EXPECT_EQ(readFile(at("dst/deep/er/b.bin")), std::string(3 << 20, '\x7f'));
  EXPECT_TRUE(fs::is_directory(at("dst/empty")));
  EXPECT_EQ(fs::status(at("dst/a.txt")).permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_EQ(fs::read_symlink(at("dst/link")), "a.txt");

  EXPECT_EQ(errorOf([&] { fm_.copyItem(at("src"), at("dst")); }), std::errc::file_exists);
}

TEST_F(FileManagerTest, RemovesTreesAndLinksWithoutFollowingThem) {
  writeFile(at("keep/precious"), "p");
  writeFile(at("tree/sub/f"), "f");
  fs::create_directory_symlink(at("keep"), at("tree/sub/link"));
  fm_.removeItem(at("tree"));
  EXPECT_FALSE(fs::exists(at("tree")));
  EXPECT_EQ(readFile(at("keep/precious")), "p");
  EXPECT_EQ(errorOf([&] { fm_.removeItem(at("tree")); }), std::errc::no_such_file_or_directory);
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

TEST_F(FileManagerTest, ReadingAFolderOrAMissingFileIsAnError) {
  fs::create_directory(at("dir"));
  EXPECT_EQ(errorOf([&] { fm_.readWholeFile(at("dir")); }), std::errc::is_a_directory);
  EXPECT_EQ(errorOf([&] { fm_.readWholeFile(at("none")); }), std::errc::no_such_file_or_directory);
  writeFile(at("big"), std::string(100, 'x'));
  EXPECT_EQ(errorOf([&] { fm_.readWholeFile(at("big"), 99); }), std::errc::file_too_large);
}

TEST_F(FileManagerTest, WalkReportsDepthRelativePathsLinksAndHiddenEntries) {
  writeFile(at("r/a/b/c.txt"), "");
  writeFile(at("r/.hidden/x.txt"), "");
  writeFile(at("r/.dot"), "");
  fs::create_directory_symlink(at("r/a"), at("r/link"));
  std::map<std::string, std::pair<int, bool>> seen;
  const auto visit = [&](const WalkEntry& entry) {
    seen[entry.relative.string()] = {entry.depth, entry.isSymbolicLink};
    return true;
  };
  const auto ignore = [](const fs::filesystem_error&) { return true; };

  ASSERT_TRUE(fm_.walk(at("r"), Hidden::skip, visit, ignore));
  const std::map<std::string, std::pair<int, bool>> visible = {
      {"a", {1, false}}, {"a/b", {2, false}}, {"a/b/c.txt", {3, false}}, {"link", {1, true}}};
  EXPECT_EQ(seen, visible);

  seen.clear();
  fm_.walk(at("r"), Hidden::include, visit, ignore);
  EXPECT_EQ(seen.size(), 7u);
  EXPECT_TRUE(seen.count(".hidden/x.txt"));

  EXPECT_FALSE(fm_.walk(at("missing"), Hidden::skip, visit, ignore));
}

TEST_F(FileManagerTest, WalkReportsAnUnreadableFolderAndCanStop) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  writeFile(at("r/locked/x"), "");
  writeFile(at("r/open/y"), "");
  fs::permissions(at("r/locked"), fs::perms::none);
  int errors = 0;
  fm_.walk(at("r"), Hidden::skip, [](const WalkEntry&) { return true; },
           [&](const fs::filesystem_error& error) {
             ++errors;
             EXPECT_EQ(error.code(), std::errc::permission_denied);
             return false;
           });
  EXPECT_EQ(errors, 1);
}

}  // namespace
}  // namespace nimbra
