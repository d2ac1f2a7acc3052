#pragma once

// Folder access that never follows a symbolic link on the way: what is done
// through these descriptors lands where the path says, even if a folder is
// swapped for a link after every earlier check.

#include <filesystem>
#include <string>

#include "engine/platform/unique_fd.h"

namespace nimbra {

enum class Create { no, yes };

// Opens folder walking down from "/" one component at a time with
// O_NOFOLLOW; a component that is a link fails with ELOOP (the system's own
// "/tmp" and "/var" links to "private/..." excepted). With Create::yes, makes
// each missing folder (and makes it durable in its parent). Throws
// filesystem_error.
UniqueFd openFolderWithoutLinks(const std::filesystem::path& folder, Create create = Create::no);

// fsync of the folder behind a descriptor (which may be O_PATH).
void syncAt(int folder, const std::filesystem::path& path);

// Removes name in folder and everything below it, never following a link.
void removeAt(int folder, const std::string& name, const std::filesystem::path& path);

// Copies the tree at from to name inside folder: folders and links first,
// then the files on every core, each file's writeback started at once. Fails
// if name exists. Throws filesystem_error.
void copyTreeAt(const std::filesystem::path& from, int folder, const std::string& name,
                const std::filesystem::path& to);

}  // namespace nimbra
