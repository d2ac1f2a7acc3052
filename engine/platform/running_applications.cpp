// What both systems share of running applications: which executable is an
// application's, and a Mac process's environment from its argument block
// (plain parsing, so that it is tested here too).

#include "engine/platform/running_applications.h"

#include <cstdint>
#include <cstring>

namespace nimbra {

namespace fs = std::filesystem;

std::optional<fs::path> bundleOf(const fs::path& executable) {
  const fs::path macOS = executable.parent_path();
  const fs::path contents = macOS.parent_path();
  const fs::path bundle = contents.parent_path();
  if (macOS.filename() != "MacOS" || contents.filename() != "Contents") return std::nullopt;
  if (bundle.extension() != ".app") return std::nullopt;
  return bundle;
}

std::vector<std::string> environmentFromArgumentBlock(std::string_view block) {
  constexpr std::size_t kLimit = 1 << 20;
  std::int32_t count = 0;
  if (block.size() < sizeof count) return {};
  std::memcpy(&count, block.data(), sizeof count);
  if (count < 0) return {};
  std::size_t at = sizeof count;
  // The executable's path, then the padding after it.
  at = block.find('\0', at);
  if (at == std::string_view::npos) return {};
  at = block.find_first_not_of('\0', at);
  for (std::int32_t argument = 0; argument < count; ++argument) {
    if (at == std::string_view::npos || at >= block.size()) return {};
    at = block.find('\0', at);
    if (at == std::string_view::npos) return {};
    ++at;
  }
  std::vector<std::string> environment;
  std::size_t total = 0;
  while (at < block.size() && total < kLimit) {
    const std::size_t end = std::min(block.find('\0', at), block.size());
    const std::string_view entry = block.substr(at, end - at);
    if (entry.empty()) break;
    if (entry.find('=') != std::string_view::npos) environment.emplace_back(entry);
    total += entry.size() + 1;
    at = end + 1;
  }
  return environment;
}

}  // namespace nimbra
