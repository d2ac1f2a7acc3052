#include "engine/locations.h"

#include <algorithm>

namespace nimbra {

std::filesystem::path location(const std::filesystem::path& path) {
  std::filesystem::path normal = path.lexically_normal();
  // lexically_normal keeps a trailing separator as an empty last component.
  if (!normal.has_filename() && normal.has_relative_path()) normal = normal.parent_path();
  return normal;
}

std::string pathText(const std::filesystem::path& path) { return location(path).string(); }

std::string extensionOf(const std::filesystem::path& path) {
  std::string extension = path.filename().extension().string();
  return extension.empty() ? extension : extension.substr(1);
}

std::string lowercasedASCII(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
  return text;
}

}  // namespace nimbra
