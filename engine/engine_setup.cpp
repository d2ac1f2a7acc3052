#include <signal.h>

#include <cerrno>
#include <utility>

#include "engine/install_engine.h"
#include "engine/locations.h"
#include "engine/platform/ed25519.h"
#include "engine/platform/file_manager.h"
#include "engine/platform/regex.h"
#include "engine/platform/running_applications.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVersionPattern = R"(^[0-9]+\.[0-9]+\.[0-9]+([.-][A-Za-z0-9.-]+)?$)";
constexpr std::size_t kManifestLimit = 16u << 20;

// Anyone who can change a payload file can also write a manifest that lists
// it; only the vendor's key can sign that manifest.
void checkSignature(const FileManager& fm, const fs::path& manifest, std::string_view bytes, const ReleaseKeys& keys) {
  const fs::path file = manifest.string() + ".sig";
  const InstallError changed("This installer was changed after it was built. Download it again from the vendor.");
  if (!fm.fileExists(file) || fm.fileSize(file) != kEd25519SignatureSize) throw changed;
  const std::string signature = fm.readWholeFile(file, kEd25519SignatureSize, Links::follow);
  for (const Ed25519PublicKey& key : keys) {
    if (verifyEd25519(key, bytes, signature)) return;
  }
  throw changed;
}

Release readRelease(const FileManager& fm, const fs::path& resources, const ReleaseKeys& keys) {
  const fs::path file = resources / "release.json";
  if (fm.fileExists(file) && fm.fileSize(file) > kManifestLimit) {
    throw DecodingError("it is larger than any manifest can be", pathText(file));
  }
  const std::string bytes = fm.readWholeFile(file, kManifestLimit, Links::follow);
  checkSignature(fm, file, bytes, keys);
  try {
    return decodeRelease(bytes);
  } catch (const DecodingError& error) {
    throw error.in(pathText(file));
  }
}

}  // namespace

InstallEngine::InstallEngine(fs::path resources, fs::path home, FileManager& fm, HostLocations host,
                             const ReleaseKeys& keys)
    : fm_(fm),
      host_(std::move(host)),
      home_(location(home)),
      resources_(location(resources)),
      release_(readRelease(fm_, resources_, keys)),
      log_(fm_, support() / "Logs") {
  if (!Regex(kVersionPattern, Case::sensitive).search(release_.version)) {
    throw InstallError("The installer version is invalid.", ErrorKind::invalidVersion);
  }
}

bool InstallEngine::isProcessRunning(pid_t pid) { return nimbra::isProcessRunning(pid); }

fs::path InstallEngine::support() const { return home_ / rhino::kSupportFolder; }

fs::path InstallEngine::standardRoot(std::int64_t major) const {
  return home_ / rhino::kPackagesFolder / (std::to_string(major) + ".0");
}

}  // namespace nimbra
