// receipt.json decoding: a receipt or a DecodingError; a decoded receipt
// encodes and decodes to the same values.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/install_error.h"
#include "engine/install_receipt.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  nimbra::InstallReceipt receipt;
  try {
    receipt = nimbra::decodeReceipt(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const nimbra::DecodingError&) {
    return 0;
  }
  const nimbra::InstallReceipt again = nimbra::decodeReceipt(nimbra::encodeReceipt(receipt));
  if (again.version != receipt.version || again.state != receipt.state || again.deploying != receipt.deploying ||
      again.destinations != receipt.destinations || again.backups.size() != receipt.backups.size()) {
    std::abort();
  }
  return 0;
}
