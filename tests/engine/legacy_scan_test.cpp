#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>

#include "engine/install_engine.h"
#include "engine/legacy_copies.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using testing::productMarker;
using testing::writeFile;

class LegacyScan : public ::testing::Test {
 protected:
  LegacyScan() {
    testing::writeRelease(folder_.path() / "Payload", Release{"1.0.0", {}});
    engine_ = std::make_unique<InstallEngine>(folder_.path() / "Payload", home());
  }
  fs::path home() const { return folder_.path() / "home"; }
  fs::path rhinoceros() const { return home() / "Library/Application Support/McNeel/Rhinoceros"; }
  fs::path settings() const { return rhinoceros() / "MacPlugIns/Grasshopper"; }
  fs::path libraries() const { return folder_.path() / "libs"; }
  std::vector<fs::path> fixedRoots() const {
    return {rhinoceros() / "MacPlugIns/Grasshopper/Libraries", rhinoceros() / "7.0/Plug-ins/Grasshopper/Libraries",
            rhinoceros() / "8.0/Plug-ins/Grasshopper/Libraries"};
  }
  std::string failure(const std::vector<fs::path>& roots) {
    return testing::thrownMessage([&] { LegacyCopies(*engine_).scanLegacy(roots); });
  }

  testing::TemporaryFolder folder_;
  std::unique_ptr<InstallEngine> engine_;
};

TEST_F(LegacyScan, AddsAbsoluteFoldersListedInSettingsFiles) {
  writeFile(settings() / "grasshopper_kernel.xml",
            "<settings><ITEM Name=\"Loader:assemblyFOLDERS\" type_name=\"gh_string\">"
            "/Libs/One;/Libs/R&amp;D;relative/path; /spaced;/a&lt;b&gt;;;/last</ITEM>"
            "<item name=\"Other\">/not/this</item></settings>");
  writeFile(settings() / "sub/Second.XML", "<item name=\"AssemblyFolder\">/second</item>");
  writeFile(settings() / ".hidden.xml", "<item name=\"AssemblyFolder\">/hidden</item>");
  writeFile(settings() / ".hidden/inner.xml", "<item name=\"AssemblyFolder\">/hidden2</item>");
  writeFile(settings() / "notes.txt", "<item name=\"AssemblyFolder\">/txt</item>");
  writeFile(settings() / "broken.xml", "<item name=\"AssemblyFolder\">/broken\xff</item>");

  std::vector<fs::path> roots = LegacyCopies(*engine_).legacyRoots();
  ASSERT_GE(roots.size(), 3u);
  EXPECT_EQ(std::vector<fs::path>(roots.begin(), roots.begin() + 3), fixedRoots());
  std::vector<fs::path> listed(roots.begin() + 3, roots.end());
  std::sort(listed.begin(), listed.end());  // walk order between the two files is the file system's
  EXPECT_EQ(listed, (std::vector<fs::path>{"/Libs/One", "/Libs/R&D", "/a<b>", "/last", "/second"}));
}

TEST_F(LegacyScan, RecognisesTheProductByItsUTF16IdentifierWhereverItFalls) {
  const std::string marker = productMarker();
  writeFile(libraries() / "Nimbra.gha", "head" + marker + "tail");
  writeFile(libraries() / "Upper.GHA", marker);
  writeFile(libraries() / "narrow.gha", std::string(InstallEngine::pluginID()));
  std::string upper;
  for (char c : InstallEngine::pluginID()) upper += {static_cast<char>(std::toupper(c)), '\0'};
  writeFile(libraries() / "shouting.gha", upper);
  writeFile(libraries() / "other.dll", marker);
  writeFile(libraries() / ".hidden.gha", marker);
  writeFile(libraries() / ".hidden/inside.gha", marker);
  fs::create_directories(libraries() / "folder.gha");

  EXPECT_EQ(LegacyCopies(*engine_).scanLegacy({libraries()}),
            (std::vector<fs::path>{libraries() / "Nimbra.gha", libraries() / "Upper.GHA"}));
  EXPECT_TRUE(LegacyCopies::isNimbra(libraries() / "Nimbra.gha"));
  EXPECT_FALSE(LegacyCopies::isNimbra(libraries() / "narrow.gha"));
  EXPECT_FALSE(LegacyCopies::isNimbra(libraries() / "other.dll"));
  EXPECT_FALSE(LegacyCopies::isNimbra(libraries() / "missing.gha"));
  // Wherever the identifier falls, across two read blocks too.
  for (const std::size_t offset : {std::size_t(256 * 1024 - 36), std::size_t(256 * 1024 - 1), std::size_t(512 * 1024 - 71)}) {
    std::string bytes(offset, 'x');
    bytes += marker + std::string(300 * 1024, 'y');
    writeFile(libraries() / "straddle.gha", bytes);
    EXPECT_TRUE(LegacyCopies::isNimbra(libraries() / "straddle.gha")) << offset;
  }
}

TEST_F(LegacyScan, RefusesAnyLinkInsideARootOrOnTheWayToIt) {
  writeFile(libraries() / "sub/Nimbra.gha", productMarker());
  writeFile(folder_.path() / "unrelated/x.txt", "x");
  fs::create_directory_symlink(folder_.path() / "unrelated", libraries() / "sub/elsewhere");
  EXPECT_EQ(failure({libraries()}),
            "A linked plug-in folder needs to be updated manually: " + (libraries() / "sub/elsewhere").string());
  writeFile(libraries() / "real/Nimbra.gha", productMarker());
  fs::create_directory_symlink(libraries(), folder_.path() / "linked");
  EXPECT_EQ(failure({folder_.path() / "linked/real"}),
            "Choose a folder without symbolic links: " + (folder_.path() / "linked").string());
}

TEST_F(LegacyScan, AnUnreadableFolderEndsTheScanWithItsError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder (run as an ordinary user by CTest)";
  writeFile(libraries() / "locked/Nimbra.gha", productMarker());
  fs::permissions(libraries() / "locked", fs::perms::none);
  try {
    LegacyCopies(*engine_).scanLegacy({libraries()});
    ADD_FAILURE() << "the scan passed over a folder it could not read";
  } catch (const fs::filesystem_error& error) {
    EXPECT_EQ(error.code(), std::errc::permission_denied);
  }
  fs::permissions(libraries() / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace nimbra
