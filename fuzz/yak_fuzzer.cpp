// The yak line rule: a found package folder always fits the rule.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/text_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string output(reinterpret_cast<const char*>(data), size);
  for (const std::int64_t major : {7, 8}) {
    const auto root = nimbra::packageRootFromYak(output, major);
    if (!root) continue;
    const std::string& text = root->native();
    if (text.front() != '/' || !text.ends_with("/" + std::to_string(major) + ".0") ||
        text.find("/packages/") == std::string::npos) {
      std::abort();
    }
  }
  return 0;
}
