#include "engine/release_manifest.h"

#include <algorithm>

#include "engine/json_fields.h"

namespace nimbra {

namespace {

PayloadFile decodeFile(const nlohmann::json& value) {
  json::requireObject(value, "an entry of \u201cfiles\u201d");
  return {json::string(value, "path"), json::string(value, "sha256"), json::integer(value, "size")};
}

PayloadPackage decodePackage(const nlohmann::json& value) {
  json::requireObject(value, "an entry of \u201cpackages\u201d");
  PayloadPackage package{json::integer(value, "major"), json::string(value, "directory"), {}};
  for (const nlohmann::json& file : json::array(value, "files")) package.files.push_back(decodeFile(file));
  return package;
}

}  // namespace

Release decodeRelease(std::string_view bytes) {
  const nlohmann::json document = json::parse(bytes);
  json::requireObject(document, "the manifest");
  Release release{json::string(document, "version"), {}};
  for (const nlohmann::json& package : json::array(document, "packages")) {
    release.packages.push_back(decodePackage(package));
  }
  return release;
}

const PayloadPackage* packageFor(const Release& release, std::int64_t major) {
  const auto found = std::find_if(release.packages.begin(), release.packages.end(),
                                  [&](const PayloadPackage& package) { return package.major == major; });
  return found == release.packages.end() ? nullptr : &*found;
}

}  // namespace nimbra
