#pragma once

// Helpers that build real folders and payloads on disk for the engine tests.

#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "engine/release_manifest.h"

namespace nimbra::packer {
class SigningKey;
}

namespace nimbra::testing {

// A fresh folder under the system's temporary folder, removed at the end.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, std::string_view bytes);
std::string readFile(const std::filesystem::path& path);
std::string sha256Hex(std::string_view bytes);

// Relative path -> content.
using Files = std::map<std::string, std::string>;

// Writes files below folder and returns the package that lists them.
PayloadPackage writePackage(const std::filesystem::path& folder, std::int64_t major, const Files& files,
                            const std::string& directory = "");

// Writes release.json (the packer's form) into resources, signed with the
// build's key as every payload the build makes.
void writeRelease(const std::filesystem::path& resources, const Release& release);
// The key the build signs its payloads with.
const packer::SigningKey& buildSigningKey();
// Writes bytes as release.json, signed with the build's key.
void writeSignedManifest(const std::filesystem::path& resources, std::string_view bytes);
std::string encodeRelease(const Release& release);

// The message of what call throws; "" when it returns.
template <typename Call>
std::string thrownMessage(Call&& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "";
}

// Whether condition holds, polled for what nothing announces. The limit only
// keeps a broken build from hanging: a loaded machine may take many seconds.
bool eventually(const std::function<bool()>& condition);

// The plug-in identifier as UTF-16LE, as a product .gha file carries it.
std::string productMarker();

}  // namespace nimbra::testing
