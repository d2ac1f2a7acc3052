#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace nimbra {

class FileManager;

// An application bundle: a folder with Contents/Info.plist (XML or binary
// property list) and its executable in Contents/MacOS.
class Bundle {
 public:
  // Nothing when location is not a folder. A folder whose Info.plist is
  // missing or unreadable is a bundle without Info values.
  static std::optional<Bundle> open(const FileManager& fm, const std::filesystem::path& location);
  // A bundle at location whose Info.plist holds bytes (XML or binary).
  static Bundle withInfo(const std::filesystem::path& location, std::string_view bytes);
  ~Bundle();
  Bundle(Bundle&& other) noexcept;
  Bundle& operator=(Bundle&&) = delete;
  Bundle(const Bundle&) = delete;

  // The Info value for key when it is a string.
  std::optional<std::string> infoString(std::string_view key) const;
  std::optional<std::string> identifier() const { return infoString("CFBundleIdentifier"); }
  // Contents/MacOS/<CFBundleExecutable>.
  std::optional<std::filesystem::path> executable() const;

 private:
  Bundle(std::filesystem::path location, void* info) : location_(std::move(location)), info_(info) {}

  std::filesystem::path location_;
  void* info_;  // plist_t of the Info dictionary, or null
};

}  // namespace nimbra
