#pragma once

// Folder access that never follows a symbolic link on the way: what is done
// through these descriptors lands where the path says, and what is read from
// them comes from there, even if a folder is swapped for a link after every
// earlier check.

#include <filesystem>
#include <string>

#include "engine/platform/system_calls.h"
#include "engine/platform/unique_fd.h"

namespace nimbra {

// Whether a link named name directly below "/" with target is the system's
// own "/tmp" or "/var" link to "private/<name>": the one kind of link every
// path check lets pass.
bool isSystemLink(const std::filesystem::path& name, const std::string& target);

// Opens folder walking down from "/" one component at a time with
// O_NOFOLLOW; a component that is a link fails with ELOOP (the system's own
// "/tmp" and "/var" links to "private/..." excepted). The descriptor is
// O_PATH: good for *at() calls, not for reading. Throws filesystem_error.
UniqueFd openFolderWithoutLinks(const std::filesystem::path& folder);

// The same, making each missing folder through calls (and making it durable
// in its parent).
UniqueFd makeFolderWithoutLinks(SystemCalls& calls, const std::filesystem::path& folder);

// A file or folder opened for reading, no link on the way or at its end.
// Throws filesystem_error (ELOOP for a link).
UniqueFd openForReadingWithoutLinks(const std::filesystem::path& path);

// fsync of the folder behind a descriptor (which may be O_PATH).
void syncAt(SystemCalls& calls, int folder, const std::filesystem::path& path);

// Removes name in folder and everything below it, never following a link.
void removeAt(SystemCalls& calls, int folder, const std::string& name, const std::filesystem::path& path);

// Copies the tree at from to name inside folder: folders and links first,
// then the files (on every core the calls allow), each file's writeback
// started at once. Fails if name exists. Throws filesystem_error.
void copyTreeAt(SystemCalls& calls, const std::filesystem::path& from, int folder, const std::string& name,
                const std::filesystem::path& to);

}  // namespace nimbra
