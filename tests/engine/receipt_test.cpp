#include <gtest/gtest.h>

#include <chrono>

#include "engine/install_error.h"
#include "engine/install_receipt.h"
#include "engine/platform/file_manager.h"
#include "tests/support/sandbox.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;

TEST(InstallReceipt, EncodesCompactlyWithKeysInRecordOrderAndReadsOtherWriters) {
  const InstallReceipt receipt{"1.0.0", "complete", {"/a/nimbra"}, {{"/o", "/b/0-o"}}, {"/a/nimbra"}};
  EXPECT_EQ(encodeReceipt(receipt),
            R"({"version":"1.0.0","state":"complete","destinations":["/a/nimbra"],)"
            R"("backups":[{"original":"/o","backup":"/b/0-o"}],"deploying":["/a/nimbra"]})");
  // Another writer's escaped slashes are read; keys it added are not kept.
  const InstallReceipt other = decodeReceipt(
      R"({"version":"1.0.0","state":"installing","destinations":["\/a\/nimbra"],"backups":[],)"
      R"("deploying":[],"written_by":"someone else"})");
  EXPECT_EQ(other.destinations, std::vector<std::string>{"/a/nimbra"});
  EXPECT_EQ(encodeReceipt(other).find("written_by"), std::string::npos);
}

TEST(InstallReceipt, RejectsMissingOrMistypedKeys) {
  const char* cases[] = {
      R"({"version":"1.0.0","state":"installing","destinations":[],"backups":[]})",
      R"({"version":"1.0.0","state":"installing","destinations":[],"backups":[{"original":"/o"}],"deploying":[]})",
      R"({"version":"1.0.0","state":null,"destinations":[],"backups":[],"deploying":[]})",
      R"({"version":"1.0.0","state":"installing","destinations":"/a","backups":[],"deploying":[]})",
      R"({"version":"1.0.0","state":"installing","destinations":[1],"backups":[],"deploying":[]})",
      R"({"version":"1.0.0","state":"installing","destinations":[],"backups":[["/o","/b"]],"deploying":[]})",
      R"({"version":1,"state":"installing","destinations":[],"backups":[],"deploying":[]})",
      R"(["version"])",
  };
  for (const char* text : cases) EXPECT_THROW(decodeReceipt(text), DecodingError) << text;
}

TEST(InstallReceipt, RefusesToEncodeAPathThatIsNotUTF8) {
  const InstallReceipt receipt{"1.3.0", "installing", {}, {{"/h/Libraries/\xff.gha", "/h/B/x/0-Nimbra.gha"}}, {}};
  EXPECT_THROW(encodeReceipt(receipt), std::runtime_error);
}

TEST(BackupNames, FolderNameIsUTCTimeWithoutColonsThenEightUpperHexCharacters) {
  using namespace std::chrono;
  const sys_seconds time = sys_days{2025y / March / 7} + 14h + 5min + 9s;
  EXPECT_EQ(backupFolderName(time, "9F1C2A7B-0000-4000-8000-000000000000"), "2025-03-07T14-05-09Z-9F1C2A7B");
}

}  // namespace
}  // namespace nimbra
