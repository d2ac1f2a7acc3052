#include <gtest/gtest.h>

#include <fstream>

#include "engine/install_engine.h"
#include "engine/verification.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::writeFile;

class Verification : public ::testing::Test {
 protected:
  Verification() {
    testing::writeRelease(folder_.path() / "Payload", Release{"1.0.0", {}});
    engine_ = std::make_unique<InstallEngine>(folder_.path() / "Payload", folder_.path() / "home");
    package_ = testing::writePackage(payload(), 8,
                                     {{"Nimbra.gha", "library"}, {"lib/a.dll", "alpha"}, {"lib/deep/b.dll", "beta"}});
  }
  fs::path payload() const { return folder_.path() / "pkg"; }
  std::string failure(const PayloadPackage& package) {
    return testing::thrownMessage([&] { verify(engine_->fileManager(), package, payload()); });
  }
  static std::string damaged(const std::string& path) {
    return "A file is damaged: " + path + ". Download the installer again.";
  }

  testing::TemporaryFolder folder_;
  std::unique_ptr<InstallEngine> engine_;
  PayloadPackage package_;
};

TEST_F(Verification, AcceptsTheExactPackageWithEmptySubfoldersButNoEmptyList) {
  fs::create_directories(payload() / "empty/inside");
  EXPECT_NO_THROW(verify(engine_->fileManager(), package_, payload()));
  EXPECT_NO_THROW(verify(engine_->fileManager(), package_, payload().string() + "/"));
  EXPECT_EQ(failure(PayloadPackage{8, "pkg", {}}), "The installer package is empty.") << "whatever the folder holds";
}

TEST_F(Verification, RefusesInvalidPathsBeforeReadingAnything) {
  for (const char* path : {"/etc/passwd", "lib\\a.dll", "lib/../Nimbra.gha", "..", "a/..", "../pkg/Nimbra.gha"}) {
    PayloadPackage package = package_;
    package.files.insert(package.files.begin(), PayloadFile{path, "00", 1});
    EXPECT_EQ(failure(package), "The installer contains an invalid path.") << path;
  }
  writeFile(payload() / "..name", "dots");
  PayloadPackage dotted = package_;
  dotted.files.push_back({"..name", testing::sha256Hex("dots"), 4});
  EXPECT_EQ(failure(dotted), "");
}

TEST_F(Verification, RefusesWrongDigestsAndSizesNamingTheFirstInManifestOrder) {
  PayloadPackage upper = package_;
  for (char& c : upper.files[1].sha256) c = static_cast<char>(std::toupper(c));
  EXPECT_EQ(failure(upper), damaged("lib/a.dll"));

  writeFile(payload() / "lib/a.dll", "alpha!");
  PayloadPackage longer = package_;
  longer.files[1].sha256 = testing::sha256Hex("alpha!");
  EXPECT_EQ(failure(longer), damaged("lib/a.dll"));

  writeFile(payload() / "lib/deep/b.dll", "corrupt");
  EXPECT_EQ(failure(package_), damaged("lib/a.dll"));
  writeFile(payload() / "lib/a.dll", "alpha");
  EXPECT_EQ(failure(package_), damaged("lib/deep/b.dll"));
}

// A file beside the listing, hidden or not, or named by the listing in
// another spelling, is one the package should not hold.
TEST_F(Verification, RefusesAnyFileTheListingDoesNotNameAsItIsSpelled) {
  for (const char* extra : {"extra.txt", ".DS_Store", "lib/.hidden/x", "lib/deep/c.dll"}) {
    writeFile(payload() / extra, "");
    EXPECT_EQ(failure(package_), "The package contains unexpected files.") << extra;
    fs::remove(payload() / extra);
  }
  fs::create_symlink(payload() / "Nimbra.gha", payload() / "alias");
  EXPECT_EQ(failure(package_), "") << "a link is not a regular file and is not listed";
  for (const char* spelling : {"lib/./a.dll", "lib//a.dll", "./lib/a.dll"}) {
    PayloadPackage package = package_;
    package.files[1].path = spelling;
    EXPECT_EQ(failure(package), "The package contains unexpected files.") << spelling;
  }
  // Linux keeps a composed and a decomposed name apart; under canonical
  // equivalence they are one listed path, and the second is an extra file.
  const std::string decomposed = "Cafe\xcc\x81.gh";
  writeFile(payload() / decomposed, "x");
  PayloadPackage package = package_;
  package.files.push_back({decomposed, testing::sha256Hex("x"), 1});
  EXPECT_EQ(failure(package), "");
  writeFile(payload() / "Caf\xc3\xa9.gh", "x");
  EXPECT_EQ(failure(package), "The package contains unexpected files.");
}

TEST_F(Verification, RefusesALinkOnTheWayToAListedFile) {
  fs::rename(payload() / "lib", folder_.path() / "real-lib");
  fs::create_directory_symlink(folder_.path() / "real-lib", payload() / "lib");
  EXPECT_EQ(failure(package_), "Choose a folder without symbolic links: " + (payload() / "lib").string());
}

}  // namespace
}  // namespace nimbra
