#include "engine/platform/bundle.h"

#include <plist/plist.h>


#include "engine/platform/file_manager.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kInfoLimit = 8u << 20;

plist_t parseInfo(std::string_view bytes) {
  if (bytes.size() > kInfoLimit) return nullptr;
  plist_t info = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &info);
  if (info != nullptr && plist_get_node_type(info) != PLIST_DICT) {
    plist_free(info);
    return nullptr;
  }
  return info;
}

plist_t readInfo(const FileManager& fm, const fs::path& file) {
  try {
    return parseInfo(fm.readWholeFile(file, kInfoLimit, Links::follow));
  } catch (const fs::filesystem_error&) {
    return nullptr;
  }
}

}  // namespace

Bundle Bundle::withInfo(const fs::path& location, std::string_view bytes) { return Bundle(location, parseInfo(bytes)); }

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
  // The pointer and length, not plist_get_string_val, which asserts (and so
  // ends the process) on a string with a NUL inside it.
  uint64_t length = 0;
  const char* text = plist_get_string_ptr(value, &length);
  if (text == nullptr) return std::nullopt;
  return std::string(text, static_cast<std::size_t>(length));
}

std::optional<fs::path> Bundle::executable() const {
  const std::optional<std::string> name = infoString("CFBundleExecutable");
  // A name with a NUL would be cut short by the system and name another file.
  if (!name || name->empty() || name->find_first_of(std::string("/\0", 2)) != std::string::npos) return std::nullopt;
  return location_ / "Contents/MacOS" / *name;
}

}  // namespace nimbra
