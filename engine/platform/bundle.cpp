#include "engine/platform/bundle.h"

#include <plist/plist.h>

#include <cstdlib>
#include <memory>

#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kInfoLimit = 8u << 20;

plist_t readInfo(const FileManager& fm, const fs::path& file) {
  std::string bytes;
  try {
    bytes = fm.readWholeFile(file, kInfoLimit);
  } catch (const fs::filesystem_error&) {
    return nullptr;
  }
  plist_t info = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &info);
  if (info != nullptr && plist_get_node_type(info) != PLIST_DICT) {
    plist_free(info);
    return nullptr;
  }
  return info;
}

}  // namespace

std::optional<Bundle> Bundle::open(const FileManager& fm, const fs::path& location) {
  if (!fm.isDirectory(location)) return std::nullopt;
  return Bundle(location, readInfo(fm, location / "Contents/Info.plist"));
}

Bundle::~Bundle() {
  if (info_ != nullptr) plist_free(static_cast<plist_t>(info_));
}

Bundle::Bundle(Bundle&& other) noexcept : location_(std::move(other.location_)), info_(other.info_) {
  other.info_ = nullptr;
}

std::optional<std::string> Bundle::infoString(std::string_view key) const {
  if (info_ == nullptr) return std::nullopt;
  const plist_t value = plist_dict_get_item(static_cast<plist_t>(info_), std::string(key).c_str());
  if (value == nullptr || plist_get_node_type(value) != PLIST_STRING) return std::nullopt;
  char* text = nullptr;
  plist_get_string_val(value, &text);
  if (text == nullptr) return std::nullopt;
  std::unique_ptr<char, decltype(&std::free)> owner(text, &std::free);
  return std::string(text);
}

std::optional<fs::path> Bundle::executable() const {
  const std::optional<std::string> name = infoString("CFBundleExecutable");
  if (!name || name->empty() || name->find('/') != std::string::npos) return std::nullopt;
  return location_ / "Contents/MacOS" / *name;
}

}  // namespace nimbra
