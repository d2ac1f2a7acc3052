#pragma once

namespace nimbra {

// What a transaction does with its targets: install the release, take the
// installed copies away into the backup folder, or put back what an earlier
// backup folder holds.
enum class Operation { install, uninstall, restore };

}  // namespace nimbra
