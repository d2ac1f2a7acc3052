#include "engine/failure_text.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <utility>

#include "engine/install_error.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

namespace {

// What to do about a refusal of permission, said after it.
constexpr const char* kAskForPermission =
    " Ask an administrator of this computer to give you that permission, or to install Nimbra for you.";

std::string quoted(const fs::path& path) { return "\u201c" + path.string() + "\u201d"; }

// The operation a file-system error was thrown for: the text the library puts
// between "filesystem error: " and the system's reason.
std::string operationOf(const fs::filesystem_error& error) {
  const std::string_view text = error.what();
  constexpr std::string_view prefix = "filesystem error: ";
  if (!text.starts_with(prefix)) return "";
  const std::size_t end = text.find(": ", prefix.size());
  return std::string(text.substr(prefix.size(), end == std::string_view::npos ? 0 : end - prefix.size()));
}

bool fileStandsAt(const fs::path& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

// The backup folder ("…/Nimbra/Backups/<name>") that holds path, if one
// does: its numbered slots ("0-nimbra") mean nothing to people.
std::optional<fs::path> backupFolderOf(const fs::path& path) {
  fs::path walked;
  std::string previous, beforePrevious;
  for (const fs::path& part : path) {
    if (beforePrevious == "Nimbra" && previous == "Backups" && walked != path) return walked / part;
    beforePrevious = std::exchange(previous, part.string());
    walked /= part;
  }
  return std::nullopt;
}

// "could not be ..." for what was being done.
std::string whatFailed(const std::string& operation, const fs::path& path, const fs::path& other) {
  if (operation == "mkdir") return "The folder " + quoted(path) + " could not be created";
  if (operation == "create" || operation == "symlink") return quoted(path) + " could not be created";
  const std::optional<fs::path> backup = backupFolderOf(other);
  if (backup && (operation == "rename" || operation == "copy")) {
    return quoted(path) + " could not be " + (operation == "rename" ? "moved" : "copied") + " into the backup folder " +
           quoted(*backup);
  }
  if (operation == "rename") return quoted(path) + " could not be moved to " + quoted(other);
  if (operation == "copy") return quoted(path) + " could not be copied to " + quoted(other);
  if (operation == "remove") return quoted(path) + " could not be removed";
  if (operation == "write" || operation == "fsync" || operation == "syncfs") return quoted(path) + " could not be saved";
  if (operation == "launch") return quoted(path) + " could not be started";
  if (operation == "chmod") return quoted(path) + " could not be changed";
  return quoted(path) + " could not be read";
}

// "because ..." for the reason, or nothing where the reason is the sentence.
std::string because(int error, const std::string& operation, const fs::path& path) {
  switch (error) {
    case ENOENT:
      if (operation == "mkdir" || operation == "create" || operation == "symlink") return "a folder on its way does not exist";
      return operation == "launch" ? "it does not exist" : "it no longer exists";
    case ENOTDIR: return fileStandsAt(path) ? "a file of that name is in the way" : "a file is in the way of a folder on its path";
    case EISDIR: return "it is a folder, not a file";
    case EEXIST: return fileStandsAt(path) ? "a file of that name is in the way" : "something of that name is already there";
    case ENOTEMPTY: return "a folder of that name is already there and holds files";
    case EACCES:
    case EPERM: return "you do not have permission";
    case EROFS: return "its disk can only be read";
    case EIO: return "the disk reported an error";
    case ELOOP: return "a symbolic link is on its way";
    case ENAMETOOLONG: return "its name is too long";
    case EXDEV: return "the two places are on different disks";
    case EMFILE:
    case ENFILE: return "too many files are open";
    case EBUSY: return "it is in use";
    case EFBIG: return "it is far larger than it can be";
    case ENOEXEC: return "it is not an application that can run here";
    default: return "of a system error (" + std::error_code(error, std::system_category()).message() + ")";
  }
}

// The package folder that holds the installer's own staging or set-aside
// folder on path's way: the folder people know, where ours has a made-up name.
std::optional<fs::path> packageFolderOf(const fs::path& path) {
  fs::path walked;
  for (const fs::path& part : path) {
    if (isStagingName(part.string())) return walked;
    walked /= part;
  }
  return std::nullopt;
}

std::string describeFileError(const fs::filesystem_error& error) {
  const int code = error.code().value();
  const fs::path& path = error.path1();
  const std::string operation = operationOf(error);
  // A file that will not go is named as it is, hidden folder and all: that
  // is where it stays.
  std::optional<fs::path> folder = operation == "remove" ? std::nullopt : packageFolderOf(path);
  if (!folder && operation != "remove") folder = packageFolderOf(error.path2());
  if (code == ENOSPC) return "There is no space left on the disk that holds " + quoted(folder.value_or(path)) + ".";
  if (folder) {
    const bool denied = code == EACCES || code == EPERM;
    return "Nimbra could not be installed in " + quoted(*folder) + " because " +
           (denied ? "you do not have permission to change it" : because(code, operation, path)) + "." +
           (denied ? kAskForPermission : "");
  }
  if (code == EDQUOT) return "Your disk space is used up on the disk that holds " + quoted(path) + ".";
  const bool denied = code == EACCES || code == EPERM;
  return whatFailed(operation, path, error.path2()) + " because " + because(code, operation, path) + "." +
         (denied ? kAskForPermission : "");
}

}  // namespace

std::string describe(const std::exception& error) {
  if (const auto* own = dynamic_cast<const InstallError*>(&error)) return own->what();
  if (const auto* decoding = dynamic_cast<const DecodingError*>(&error)) return decoding->what();
  if (const auto* file = dynamic_cast<const fs::filesystem_error*>(&error)) return describeFileError(*file);
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return "The installer ran out of memory.";
  if (const auto* system = dynamic_cast<const std::system_error*>(&error)) {
    return "The system could not carry out a step of the installer: " + system->code().message() + ".";
  }
  return error.what();
}

std::string describe(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& caught) {
    return describe(caught);
  } catch (...) {
    return "An unknown error occurred.";
  }
}

}  // namespace nimbra
