// The folder list of a Grasshopper settings file: only absolute folders.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/text_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const auto& folder : nimbra::listedFolders(std::string_view(reinterpret_cast<const char*>(data), size))) {
    if (folder.native().empty() || folder.native().front() != '/') std::abort();
  }
  return 0;
}
