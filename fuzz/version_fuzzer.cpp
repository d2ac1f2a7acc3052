// Numeric comparison: antisymmetric, reflexive, and never reading out of range.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/version_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  const std::string_view a = text.substr(0, cut), b = text.substr(cut);
  const int ab = nimbra::compareNumeric(a, b), ba = nimbra::compareNumeric(b, a);
  if ((ab > 0) != (ba < 0) || (ab == 0) != (ba == 0) || nimbra::compareNumeric(a, a) != 0) std::abort();
  (void)nimbra::versionCore(a);
  (void)nimbra::leadingInteger(b);
  return 0;
}
