#pragma once

// Writes release.json from the package folders of a payload, so that no
// vendor ever writes a digest or a path by hand.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/release_manifest.h"

namespace nimbra::packer {

// A refusal, with the sentence for the vendor.
class PackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct PackageSource {
  std::int64_t major = 0;
  std::string directory;  // a folder directly inside the payload folder
};

class SigningKey;

struct Packed {
  Release release;
  std::vector<std::filesystem::path> leftOut;  // the Finder's files, removed from the packages
};

// Lists every regular file of each package as the engine's listing spells it,
// with its size and SHA-256, writes <payload>/release.json, signs its exact
// bytes with key into release.json.sig (without a key, no signature is left),
// and verifies the result with the engine itself. The Finder's own files
// (isFinderFile) are left out and removed. Throws PackError for whatever the
// engine would later refuse or mishandle (version form, links, any other
// hidden or special file, names that are not UTF-8 or hold a backslash, an
// empty package).
Packed packRelease(const std::filesystem::path& payload, const std::string& version,
                   const std::vector<PackageSource>& packages, const SigningKey* key);

// Signs the bytes of <payload>/release.json as they are now, into
// release.json.sig beside it.
void signRelease(const std::filesystem::path& payload, const SigningKey& key);

// The manifest's JSON text, keys in the order the engine documents.
std::string encodeRelease(const Release& release);

}  // namespace nimbra::packer
