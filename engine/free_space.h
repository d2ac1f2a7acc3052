#pragma once

#include <vector>

#include "engine/release_manifest.h"
#include "engine/rhino_target.h"

namespace nimbra {

class FileManager;

// Refuses, before anything is staged, an install whose staged copies would
// not fit: the package of every target counts on the file system that holds
// its package root, all targets on one file system together, each file
// rounded up to whole blocks and a block for every folder and the manifest.
// Throws InstallError "There is not enough free space to install Nimbra: it
// needs <N> <unit> on the disk holding <package root>, and <M> <unit> are
// free.", in KB, MB or GB, whichever shows the gap. A
// file system whose space cannot be read is not checked.
void requireFreeSpace(const FileManager& fm, const Release& release, const std::vector<RhinoTarget>& targets);

}  // namespace nimbra
