#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nimbra {

// One file of a package: its path relative to the package folder, as a
// recursive listing spells it, with its SHA-256 (lower-case hex) and size.
struct PayloadFile {
  std::string path;
  std::string sha256;
  std::int64_t size = 0;
};

// The payload for one Rhino major version; its files lie in
// <resources>/<directory>.
struct PayloadPackage {
  std::int64_t major = 0;
  std::string directory;
  std::vector<PayloadFile> files;
};

// The whole release manifest, release.json.
struct Release {
  std::string version;
  std::vector<PayloadPackage> packages;
};

// The first package of the release for major, in manifest order; nullptr
// when the release has none.
const PayloadPackage* packageFor(const Release& release, std::int64_t major);

// Decodes release.json strictly: every key required with its exact JSON type,
// unknown keys ignored, array order kept. Throws DecodingError; tests no value
// beyond its type.
Release decodeRelease(std::string_view bytes);

}  // namespace nimbra
