#include "engine/text_rules.h"

#include <algorithm>

#include "engine/install_error.h"
#include "engine/platform/regex.h"
#include "engine/platform/unicode.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderListPattern =
    R"(<item[^>]*name=\"[^"]*(?:AssemblyFolders|AssemblyFolder)[^"]*\"[^>]*>([^<]+)</item>)";

void replaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// True when the ";" at text[at] closes one of the three entities that are
// decoded; such a ";" belongs to a folder name and does not separate two.
bool closesEntity(std::string_view text, std::size_t at) {
  const std::string_view before = text.substr(0, at);
  return before.ends_with("&amp") || before.ends_with("&lt") || before.ends_with("&gt");
}

// Adds the absolute folders listed in one settings file's text.
void addListedFolders(const Regex& pattern, std::string_view text, std::vector<fs::path>& roots) {
  pattern.forEachMatch(text, [&](std::optional<std::string_view> list) {
    if (!list) return;
    std::size_t start = 0;
    for (std::size_t at = 0; at <= list->size(); ++at) {
      if (at < list->size() && ((*list)[at] != ';' || closesEntity(*list, at))) continue;
      std::string piece(list->substr(start, at - start));
      replaceAll(piece, "&amp;", "&");
      replaceAll(piece, "&lt;", "<");
      replaceAll(piece, "&gt;", ">");
      if (!piece.empty() && piece.front() == '/') roots.emplace_back(piece);
      start = at + 1;
    }
  });
}

}  // namespace

std::optional<fs::path> packageRootFromYak(const std::string& output, std::int64_t major) {
  const std::string suffix = "/" + std::to_string(major) + ".0";
  for (const std::string& line : splitLines(output)) {
    const std::size_t slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string_view path(line);
    path.remove_prefix(slash);
    constexpr std::string_view kTrimmed = " \t\r\"'";
    path.remove_prefix(std::min(path.find_first_not_of(kTrimmed), path.size()));
    path.remove_suffix(path.size() - std::min(path.find_last_not_of(kTrimmed) + 1, path.size()));
    if (path.ends_with(suffix) && path.find("/packages/") != std::string_view::npos) return fs::path(path);
  }
  return std::nullopt;
}

std::vector<fs::path> listedFolders(std::string_view settingsText) {
  static const Regex pattern(kFolderListPattern, Case::insensitive);
  std::vector<fs::path> folders;
  if (isValidUTF8(settingsText)) addListedFolders(pattern, settingsText, folders);
  return folders;
}

void checkManifestPath(const std::string& path) {
  const InstallError invalid("The installer contains an invalid path.");
  if (!path.empty() && path.front() == '/') throw invalid;
  if (path.find('\\') != std::string::npos) throw invalid;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    if (path.compare(start, end - start, "..") == 0) throw invalid;
    start = end + 1;
  }
}

}  // namespace nimbra
