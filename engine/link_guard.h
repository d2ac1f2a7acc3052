#pragma once

// The guard against symbolic links: nothing is read from or written to a
// place reached through a link someone planted.

#include <filesystem>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace nimbra {

class FileManager;

// Locations (with their parents) one operation found free of links, shared
// by its threads so that each folder is looked at once.
class LinkMemo {
 public:
  bool contains(const std::string& path);
  void insert(const std::vector<std::string>& paths);

 private:
  std::mutex mutex_;
  std::unordered_set<std::string> clean_;
};

// Throws InstallError "Choose a folder without symbolic links: <link>" for
// the innermost symbolic link on the way from url up to "/" ("/tmp" and
// "/var" pointing at "private/tmp" and "private/var" excepted). With memo,
// folders it holds are not looked at again, and those found clean join it.
void rejectLinks(const FileManager& fm, const std::filesystem::path& url, LinkMemo* memo = nullptr);

}  // namespace nimbra
