#include <gtest/gtest.h>

#include <cerrno>

#include "engine/failure_text.h"
#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;

std::string quoted(const fs::path& path) { return "\u201c" + path.string() + "\u201d"; }

// What no text for people may hold: the library's own wording.
void expectPlain(const std::string& text, const std::string& context) {
  EXPECT_EQ(text.find("filesystem error"), std::string::npos) << context << ": " << text;
  EXPECT_EQ(text.find("json.exception"), std::string::npos) << context << ": " << text;
  EXPECT_EQ(text.find('['), std::string::npos) << context << ": " << text;
  EXPECT_TRUE(text.ends_with(".")) << context << ": " << text;
}

TEST(FailureText, EveryFileErrorIsASentenceNamingItsPath) {
  const fs::path path = "/Users/ada/Library/Application Support/Nimbra";
  const fs::path other = "/Users/ada/Backups/0-nimbra";
  const int errors[] = {ENOENT, ENOTDIR, EISDIR, EEXIST, ENOTEMPTY, EACCES, EPERM, EROFS, ENOSPC, EDQUOT,
                        EIO,    ELOOP,   ENAMETOOLONG, EXDEV, EMFILE, EBUSY, ENOEXEC, ECONNRESET};
  for (const char* operation : {"open", "read", "list", "mkdir", "create", "write", "fsync", "rename", "remove", "copy",
                                "launch", "syncfs"}) {
    for (const int error : errors) {
      const std::string text =
          describe(fs::filesystem_error(operation, path, other, std::error_code(error, std::system_category())));
      const std::string context = std::string(operation) + " " + std::to_string(error);
      expectPlain(text, context);
      EXPECT_NE(text.find(quoted(path)), std::string::npos) << context << ": " << text;
    }
  }
  const auto text = [&](const char* operation, int error) {
    return describe(fs::filesystem_error(operation, path, other, std::error_code(error, std::system_category())));
  };
  // Each reason in its own words, so that two numbers worded alike fail.
  const std::pair<int, const char*> meanings[] = {
      {ENOENT, "no longer exists"}, {EACCES, "do not have permission"}, {EPERM, "do not have permission"},
      {EROFS, "can only be read"}, {EIO, "disk reported an error"},    {ELOOP, "symbolic link"},
      {ENAMETOOLONG, "name is too long"}, {EXDEV, "different disks"}, {EMFILE, "too many files"},
      {EBUSY, "in use"},           {ENOTEMPTY, "holds files"},         {EISDIR, "is a folder"},
      {ENOSPC, "no space left"},   {EDQUOT, "disk space is used up"}};
  for (const auto& [error, words] : meanings) {
    EXPECT_NE(text("read", error).find(words), std::string::npos) << error << ": " << text("read", error);
  }
  EXPECT_EQ(text("open", ENOENT), quoted(path) + " could not be read because it no longer exists.");
  const std::string askForIt =
      " Ask an administrator of this computer to give you that permission, or to install Nimbra for you.";
  EXPECT_EQ(text("rename", EACCES),
            quoted(path) + " could not be moved to " + quoted(other) + " because you do not have permission." + askForIt);
  // A slot of a backup folder is named by the folder people can find.
  const fs::path backup = "/Users/ada/Library/Application Support/Nimbra/Backups/2026-12-06T18-45-05Z-FB1ACD3C";
  EXPECT_EQ(describe(fs::filesystem_error("rename", path, backup / "1-nimbra", std::error_code(EIO, std::system_category()))),
            quoted(path) + " could not be moved into the backup folder " + quoted(backup) +
                " because the disk reported an error.");
  EXPECT_EQ(text("write", ENOSPC), "There is no space left on the disk that holds " + quoted(path) + ".");
  EXPECT_NE(text("read", ECONNRESET).find(std::error_code(ECONNRESET, std::system_category()).message()),
            std::string::npos)
      << "an unusual reason is still the system's own";
}

TEST(FailureText, TheInstallersOwnFoldersAreNamedByThePackageFolderThatHoldsThem) {
  const fs::path root = "/Users/ada/Library/Application Support/McNeel/Rhinoceros/packages/8.0";
  const fs::path staging = root / ".nimbra-install-C171C6A5-3F4D-4E5F-8A9B-0C1D2E3F4A5B";
  const auto text = [](const char* operation, const fs::path& path, const fs::path& other, int error) {
    return describe(fs::filesystem_error(operation, path, other, std::error_code(error, std::system_category())));
  };
  EXPECT_EQ(text("mkdir", staging, "", EACCES),
            "Nimbra could not be installed in " + quoted(root) +
                " because you do not have permission to change it. Ask an administrator of this computer to give you "
                "that permission, or to install Nimbra for you.");
  EXPECT_EQ(text("rename", root / "nimbra", staging, EIO),
            "Nimbra could not be installed in " + quoted(root) + " because the disk reported an error.");
  EXPECT_EQ(text("write", staging / "1.3.0/Nimbra.gha", "", ENOSPC),
            "There is no space left on the disk that holds " + quoted(root) + ".");
  EXPECT_EQ(text("mkdir", root / ".nimbra-install-notes", "", EACCES),
            "The folder " + quoted(root / ".nimbra-install-notes") +
                " could not be created because you do not have permission. Ask an administrator of this computer to "
                "give you that permission, or to install Nimbra for you.");
}

TEST(FailureText, ADamagedRecordSaysWhereInPlainWords) {
  testing::TemporaryFolder folder;
  const std::pair<std::string, std::string> cases[] = {
      {R"({"version": "1.0.0", "packages": [)", "it ends too soon, at line 1, column 35"},
      {"{\"version\": \"1.0.0\",\n \"packages\": x}", "something unexpected stands at line 2, column 14"},
      {R"({"version": "1.0.0"})", "the field \u201cpackages\u201d is missing"},
      {R"({"version": "1.0.0", "packages": [{"major": "8", "directory": "a", "files": []}]})",
       "the field \u201cmajor\u201d is not a whole number"},
  };
  for (const auto& [json, where] : cases) {
    testing::writeSignedManifest(folder.path(), json);
    std::string text;
    try {
      InstallEngine engine(folder.path(), folder.path());
    } catch (const DecodingError& error) {
      text = describe(error);
    }
    expectPlain(text, json);
    EXPECT_EQ(text, "The data couldn't be read because it isn't in the correct format.\nIn " +
                        quoted(folder.path() / "release.json") + ", " + where + ".");
  }
}

}  // namespace
}  // namespace nimbra
