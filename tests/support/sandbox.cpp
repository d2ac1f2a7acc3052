#include "tests/support/sandbox.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "engine/install_engine.h"
#include "engine/platform/sha256.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"

namespace nimbra::testing {

namespace fs = std::filesystem;

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "nimbra-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code error;
  // Tests make folders read-only; give the owner the right to remove them.
  for (auto it = fs::recursive_directory_iterator(path_, error); !error && it != fs::recursive_directory_iterator();
       it.increment(error)) {
    if (it->is_directory(error) && !it->is_symlink(error)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
  }
  fs::remove_all(path_, error);
}

void writeFile(const fs::path& path, std::string_view bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string sha256Hex(std::string_view bytes) {
  Sha256 hash;
  hash.update(bytes);
  return hash.hexDigest();
}

PayloadPackage writePackage(const fs::path& folder, std::int64_t major, const Files& files,
                            const std::string& directory) {
  fs::create_directories(folder);
  PayloadPackage package{major, directory.empty() ? folder.filename().string() : directory, {}};
  for (const auto& [path, content] : files) {
    writeFile(folder / path, content);
    package.files.push_back({path, sha256Hex(content), static_cast<std::int64_t>(content.size())});
  }
  return package;
}

std::string encodeRelease(const Release& release) { return packer::encodeRelease(release); }

const packer::SigningKey& buildSigningKey() {
  // A run as another user is given a copy it may read.
  const char* copy = ::getenv("NIMBRA_TEST_SIGNING_KEY");
  static const packer::SigningKey key = packer::SigningKey::read(copy ? copy : NIMBRA_SIGNING_KEY_FILE);
  return key;
}

void writeSignedManifest(const fs::path& resources, std::string_view bytes) {
  writeFile(resources / "release.json", bytes);
  packer::signRelease(resources, buildSigningKey());
}

void writeRelease(const fs::path& resources, const Release& release) {
  writeSignedManifest(resources, encodeRelease(release));
}

bool eventually(const std::function<bool()>& condition) {
  for (int i = 0; i < 6000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

std::string productMarker() {
  std::string marker;
  for (char c : InstallEngine::pluginID()) {
    marker.push_back(c);
    marker.push_back('\0');
  }
  return marker;
}

}  // namespace nimbra::testing
