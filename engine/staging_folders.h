#pragma once

// The hidden folders an install owns in a package root: ".nimbra-install-"
// and a UUID. A staging folder is filled there before its rename into place,
// and a folder to be removed is renamed to such a name first, so a cut at any
// point of its removal leaves only a folder the next install recognises and
// removes.

#include <filesystem>
#include <string>
#include <vector>

namespace nimbra {

class FileManager;

// A new, unused staging folder name inside root.
std::filesystem::path newStagingFolder(const std::filesystem::path& root);

// Whether name is ".nimbra-install-" followed by a UUID in standard form.
bool isStagingName(const std::string& name);

// The staging folders in root: real folders of that name, never a link or a
// file. Nothing when root cannot be listed.
std::vector<std::filesystem::path> stagingFoldersIn(const FileManager& fm, const std::filesystem::path& root);

// Renames folder aside within its parent in one step (made durable), then
// removes it. Throws when the rename fails; a removal cut short or failing
// leaves a staging folder behind, for the next install to remove.
void setAsideAndRemove(FileManager& fm, const std::filesystem::path& folder);

}  // namespace nimbra
