#pragma once

// Which places a receipt may name. The support folder is the user's to write,
// and an administrator may run the installer for that user: a receipt is
// input, and recovery and restore move and remove only where this installer
// itself could have written.

#include <filesystem>
#include <vector>

#include "engine/install_receipt.h"
#include "engine/rhino_target.h"

namespace nimbra {

class InstallEngine;

// Throws InstallError "The installation record names a place outside the
// Rhino and Grasshopper folders and was not used. …" unless every place the
// receipt of the backup folder entry names is one this installer writes:
// destinations in the standard package roots, those of targets or those
// discovery finds, older copies where the legacy scan looks, backups in the
// receipt's own folder, restored items from a backup folder beside it.
void checkPlaces(const InstallEngine& engine, const std::filesystem::path& entry, const InstallReceipt& receipt,
                 const std::vector<RhinoTarget>& targets);

}  // namespace nimbra
