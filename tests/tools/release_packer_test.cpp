#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/install_engine.h"
#include "engine/verification.h"
#include "tests/support/sandbox.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using packer::PackageSource;
using testing::writeFile;

class ReleasePacker : public ::testing::Test {
 protected:
  fs::path payload() const { return folder_.path() / "Payload"; }
  std::string refusal(const std::string& version = "1.0.0",
                      const std::vector<PackageSource>& packages = {{7, "Rhino7"}, {8, "Rhino8"}}) {
    const std::string message = testing::thrownMessage(
        [&] { packer::packRelease(payload(), version, packages, &testing::buildSigningKey()); });
    EXPECT_TRUE(message.empty() || (!fs::exists(payload() / "release.json") && !fs::exists(payload() / "release.json.sig")))
        << "a refused manifest was left behind";
    return message;
  }

  testing::TemporaryFolder folder_;
};

TEST_F(ReleasePacker, WritesAManifestTheEngineVerifiesForNestedAndNonASCIINames) {
  writeFile(payload() / "Rhino7/Nimbra.gha", "seven");
  writeFile(payload() / "Rhino8/Nimbra.gha", "eight");
  writeFile(payload() / "Rhino8/lib/deep/er/Core.dll", std::string(100'000, 'c'));
  writeFile(payload() / "Rhino8/Exemples/Caf\xc3\xa9.gh", "composed");
  writeFile(payload() / "Rhino8/Exemples/Cre\xcc\x80me.gh", "decomposed");
  fs::create_directories(payload() / "Rhino8/empty/folder");
  // The Finder's own files: left out, and gone from what is packed.
  writeFile(payload() / "Rhino8/.DS_Store", "view settings");
  writeFile(payload() / "Rhino8/lib/deep/._Core.dll", "an AppleDouble file");
  ASSERT_EQ(refusal(), "");
  EXPECT_FALSE(fs::exists(payload() / "Rhino8/.DS_Store") || fs::exists(payload() / "Rhino8/lib/deep/._Core.dll"));

  const InstallEngine engine(payload(), folder_.path() / "home");
  EXPECT_EQ(engine.release().version, "1.0.0");
  ASSERT_EQ(engine.release().packages.size(), 2u);
  const PayloadPackage& eight = engine.release().packages[1];
  EXPECT_EQ(eight.major, 8);
  EXPECT_EQ(eight.directory, "Rhino8");
  ASSERT_EQ(eight.files.size(), 4u);
  EXPECT_EQ(eight.files[0].path, "Exemples/Caf\xc3\xa9.gh");
  EXPECT_EQ(eight.files[1].path, "Exemples/Cre\xcc\x80me.gh");
  EXPECT_EQ(eight.files[2].path, "Nimbra.gha");
  EXPECT_EQ(eight.files[3].size, 100'000);
  EXPECT_EQ(eight.files[3].sha256, testing::sha256Hex(std::string(100'000, 'c')));
  for (const PayloadPackage& package : engine.release().packages) {
    EXPECT_NO_THROW(verify(engine.fileManager(), package, payload() / package.directory));
  }
}

TEST_F(ReleasePacker, RefusesWhatTheEngineWouldRefuseNamingTheFile) {
  const auto fresh = [&] {
    fs::remove_all(payload());
    writeFile(payload() / "Rhino7/Nimbra.gha", "seven");
    writeFile(payload() / "Rhino8/Nimbra.gha", "eight");
  };
  fresh();
  EXPECT_TRUE(refusal("v1.0").starts_with("The release version \"v1.0\" is not of the form 1.2.3"));

  writeFile(payload() / "Rhino8/lib/.settings", "");
  EXPECT_EQ(refusal(), "Remove the hidden file " + (payload() / "Rhino8/lib/.settings").string() + " from the package.");
  fresh();
  fs::create_directories(payload() / "Rhino8/.git/objects");
  EXPECT_EQ(refusal(), "Remove the hidden folder " + (payload() / "Rhino8/.git").string() + " from the package.");
  fresh();
  fs::create_symlink("Nimbra.gha", payload() / "Rhino7/Alias.gha");
  EXPECT_EQ(refusal(), "Replace the symbolic link " + (payload() / "Rhino7/Alias.gha").string() + " by the file itself.");
  fresh();
  writeFile(payload() / "Rhino8/back\\slash.txt", "");
  EXPECT_EQ(refusal(), "Rename " + (payload() / "Rhino8/back\\slash.txt").string() +
                           ": a name in a package cannot contain a backslash.");
  fresh();
  writeFile(payload() / "Rhino8/bad\xff.txt", "");
  EXPECT_EQ(refusal(), "Rename " + (payload() / "Rhino8/bad\xef\xbf\xbd.txt").string() + ": its name is not valid UTF-8.");
  fresh();
  fs::remove(payload() / "Rhino8/Nimbra.gha");
  fs::create_directories(payload() / "Rhino8/only/folders");
  EXPECT_EQ(refusal(), "The package for Rhino 8 holds no files: " + (payload() / "Rhino8").string());
  fresh();
  ASSERT_EQ(::mkfifo((payload() / "Rhino8/pipe").c_str(), 0600), 0);
  EXPECT_EQ(refusal(), "Remove " + (payload() / "Rhino8/pipe").string() +
                           ": a package holds only folders and regular files.");
  fresh();
  EXPECT_EQ(refusal("1.0.0", {{8, "Rhino8"}, {8, "Rhino7"}}), "Give one package for each Rhino version; Rhino 8 has two.");
  EXPECT_TRUE(refusal("1.0.0", {{9, "Rhino9"}}).starts_with("The package folder for Rhino 9 must be a folder directly in"));
  EXPECT_TRUE(refusal("1.0.0", {{8, "../Rhino8"}}).starts_with("The package folder for Rhino 8 must be a folder"));
}

}  // namespace
}  // namespace nimbra
