// What an operation would be refused by the system at its first change,
// found before anyone is asked to quit Rhino.

#include "engine/install_engine.h"
#include "engine/install_receipt.h"
#include "engine/locations.h"
#include "engine/platform/unicode.h"
#include "engine/staging_folders.h"

namespace nimbra {

namespace fs = std::filesystem;

void InstallEngine::checkChangeable(Operation operation, const std::vector<RhinoTarget>& targets) const {
  if (!isValidUTF8(home_.string())) throw InstallError(std::string(kFolderNameNotUTF8));
  for (const RhinoTarget& target : targets) {
    if (!isValidUTF8(target.packageRoot.string())) throw InstallError(std::string(kFolderNameNotUTF8));
    if (const int refusal = fm_.changeRefusal(target.packageRoot); refusal != 0) {
      // As the first change there would fail: staging beside the copy, or
      // taking the copy away.
      if (operation == Operation::uninstall) throwFileError("remove", target.destination(), refusal);
      throwFileError("mkdir", newStagingFolder(target.packageRoot), refusal);
    }
  }
  const fs::path backups = support() / kBackupsFolder;
  if (const int refusal = fm_.changeRefusal(backups); refusal != 0) throwFileError("mkdir", backups, refusal);
}

}  // namespace nimbra
