// Copies made durable on a Mac, which has no syncfs and whose fsync stops at
// the drive's cache: each copied file and folder, and the folder that holds
// each copy's name, is sent to the drive (cheap, no cache flush), then one
// full flush per volume empties the drive's cache of all of them at once. A
// full flush per file would cost a cache flush per file, thousands of them.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>

#include "engine/platform/file_manager.h"
#include "engine/platform/unique_fd.h"

namespace nimbra {

namespace fs = std::filesystem;

void FileManager::makeCopiesDurable(const std::vector<fs::path>& copies) {
  std::map<dev_t, UniqueFd> volumes;
  const auto send = [&](const fs::path& path) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) throwFileError("open", path, errno);
    if (calls_.sendToDrive(fd.get()) != 0) throwFileError("fsync", path, errno);
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throwFileError("fstat", path, errno);
    volumes.try_emplace(info.st_dev, std::move(fd));
  };
  for (const fs::path& copy : copies) {
    send(copy);
    std::error_code error;
    if (fs::is_directory(fs::symlink_status(copy))) {
      for (fs::recursive_directory_iterator it(copy, error), end; !error && it != end; it.increment(error)) {
        if (!it->is_symlink()) send(it->path());
      }
    }
    if (error) throw fs::filesystem_error("list", copy, error);
    // The copy's own name: without it, a cut may lose the whole copy while
    // the caller, believing it safe, removes the other one.
    send(copy.parent_path());
  }
  for (const auto& [device, fd] : volumes) {
    if (calls_.fsync(fd.get()) != 0) throwFileError("fsync", copies.front(), errno);
  }
}

}  // namespace nimbra
