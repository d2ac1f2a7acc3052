// The manifest path checks: an accepted path never leaves the package folder.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/install_error.h"
#include "engine/text_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  try {
    nimbra::checkManifestPath(path);
  } catch (const nimbra::InstallError&) {
    return 0;
  }
  const std::filesystem::path inside = (std::filesystem::path("/pkg") / path).lexically_normal();
  const std::string& text = inside.native();
  if (text != "/pkg" && text != "/pkg/" && !text.starts_with("/pkg/")) std::abort();
  return 0;
}
