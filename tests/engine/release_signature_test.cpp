#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/install_engine.h"
#include "engine/platform/ed25519.h"
#include "tests/support/sandbox.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"

namespace nimbra {
namespace {

namespace fs = std::filesystem;
using packer::SigningKey;
using testing::readFile;
using testing::writeFile;

constexpr const char* kChanged = "This installer was changed after it was built. Download it again from the vendor.";

class ReleaseSignature : public ::testing::Test {
 protected:
  ReleaseSignature() {
    writeFile(payload() / "Rhino8/Nimbra.gha", "the vendor's plug-in");
    pack(&buildKey());
  }
  static const SigningKey& buildKey() { return testing::buildSigningKey(); }
  fs::path payload() const { return folder_.path() / "Payload"; }
  fs::path home() const { return folder_.path() / "home"; }
  void pack(const SigningKey* key) { packer::packRelease(payload(), "1.0.0", {{8, "Rhino8"}}, key); }
  // The sentence the engine refuses with, "" when it is created; a refused
  // engine leaves nothing in the home folder.
  std::string refusal(const ReleaseKeys& keys = builtInReleaseKeys()) {
    const std::string message = testing::thrownMessage(
        [&] { InstallEngine(payload(), home(), FileManager::standard(), {}, keys); });
    EXPECT_FALSE(fs::exists(home())) << "an engine wrote before its release was trusted";
    return message;
  }

  testing::TemporaryFolder folder_;
};

TEST_F(ReleaseSignature, TheBuildsKeyIsTrustedAndAChangedPayloadWithANewManifestIsNot) {
  EXPECT_EQ(refusal(), "");

  writeFile(payload() / "Rhino8/Nimbra.gha", "somebody else's plug-in");
  pack(nullptr);
  EXPECT_FALSE(fs::exists(payload() / "release.json.sig"));
  EXPECT_EQ(refusal(), kChanged);

  const SigningKey other = SigningKey::generate();
  pack(&other);
  EXPECT_EQ(refusal(), kChanged);
  // Trusted once listed beside the build's key, as while a key is rotated.
  EXPECT_EQ(refusal({buildKey().publicKey(), other.publicKey()}), "");
}

TEST_F(ReleaseSignature, RefusesEverySignatureThatIsNotOfTheseBytes) {
  const fs::path signature = payload() / "release.json.sig";
  const std::string good = readFile(signature);
  const std::string manifest = readFile(payload() / "release.json");
  const std::vector<std::string> wrong = {
      "", good.substr(0, 63), good + "\n", std::string(64, '\0'), buildKey().sign(manifest + " "),
      buildKey().sign(manifest.substr(0, manifest.size() - 1))};
  for (const std::string& bytes : wrong) {
    writeFile(signature, bytes);
    EXPECT_EQ(refusal(), kChanged) << bytes.size() << " bytes";
  }
  fs::remove(signature);
  EXPECT_EQ(refusal(), kChanged);
  // The verifier alone, without the file-size check in front of it: only
  // exactly 64 bytes that verify are a signature.
  EXPECT_TRUE(verifyEd25519(buildKey().publicKey(), manifest, good));
  for (const std::string& bytes : {good + "x", good + good, good.substr(0, 63)}) {
    EXPECT_FALSE(verifyEd25519(buildKey().publicKey(), manifest, bytes)) << bytes.size() << " bytes";
  }

  // The same signature over a manifest changed by one byte of white space.
  writeFile(signature, good);
  writeFile(payload() / "release.json", manifest + "\n");
  EXPECT_EQ(refusal(), kChanged);
}

TEST(SigningKeys, KeygenWritesAPrivateKeyOnlyItsOwnerReadsAndNeverReplacesOne) {
  testing::TemporaryFolder folder;
  packer::writeKeyPair(folder.path() / "keys");
  const fs::path privateKey = folder.path() / "keys" / packer::kPrivateKeyFile;
  struct stat info {};
  ASSERT_EQ(::stat(privateKey.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const SigningKey key = SigningKey::read(privateKey);
  EXPECT_EQ(readFile(folder.path() / "keys" / packer::kPublicKeyFile), packer::publicKeyText(key.publicKey()));

  const std::string before = readFile(privateKey);
  EXPECT_NE(testing::thrownMessage([&] { packer::writeKeyPair(folder.path() / "keys"); }), "");
  fs::remove(folder.path() / "keys" / packer::kPublicKeyFile);
  EXPECT_NE(testing::thrownMessage([&] { packer::writeKeyPair(folder.path() / "keys"); }), "");
  EXPECT_EQ(readFile(privateKey), before);
}

}  // namespace
}  // namespace nimbra
