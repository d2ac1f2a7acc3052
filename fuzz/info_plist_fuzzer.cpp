// Info.plist reading (XML or binary) through the bundle reader.
#include <cstdint>
#include <string_view>

#include "engine/platform/bundle.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const nimbra::Bundle bundle =
      nimbra::Bundle::withInfo("/Applications/Rhino 8.app", std::string_view(reinterpret_cast<const char*>(data), size));
  (void)bundle.identifier();
  (void)bundle.infoString("CFBundlePackageType");
  (void)bundle.infoString("CFBundleShortVersionString");
  (void)bundle.executable();
  return 0;
}
