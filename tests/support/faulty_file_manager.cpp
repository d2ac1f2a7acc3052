#include "tests/support/faulty_file_manager.h"

#include <unistd.h>

namespace nimbra::testing {

namespace fs = std::filesystem;

void FaultyFileManager::step(const std::string& entry, const fs::path& path) {
  ++count_;
  log_.push_back(entry);
  if (hook_) hook_(count_, entry);
  if (count_ == crashAt_) ::_exit(kCrashStatus);
  if (const auto found = failures_.find(count_); found != failures_.end()) {
    throw fs::filesystem_error("injected", path, std::make_error_code(found->second));
  }
}

void FaultyFileManager::createDirectory(const fs::path& path, Intermediates intermediates) {
  step("mkdir " + path.string(), path);
  FileManager::createDirectory(path, intermediates);
}

void FaultyFileManager::writeAtomically(const fs::path& path, std::string_view bytes) {
  step("write " + path.string(), path);
  FileManager::writeAtomically(path, bytes);
}

void FaultyFileManager::moveItem(const fs::path& from, const fs::path& to) {
  step("move " + from.string() + " -> " + to.string(), from);
  FileManager::moveItem(from, to);
}

void FaultyFileManager::copyItem(const fs::path& from, const fs::path& to) {
  step("copy " + from.string() + " -> " + to.string(), from);
  FileManager::copyItem(from, to);
}

void FaultyFileManager::removeItem(const fs::path& path) {
  step("remove " + path.string(), path);
  FileManager::removeItem(path);
}

void FaultyFileManager::syncFileSystem(const fs::path& path) {
  step("sync " + path.string(), path);
  FileManager::syncFileSystem(path);
}

}  // namespace nimbra::testing
