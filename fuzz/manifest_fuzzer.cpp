// release.json decoding: any bytes give a Release or a DecodingError.
#include <cstdint>
#include <string_view>

#include "engine/install_error.h"
#include "engine/release_manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    nimbra::decodeRelease(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const nimbra::DecodingError&) {
  }
  return 0;
}
