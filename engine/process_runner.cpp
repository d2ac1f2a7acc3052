#include "engine/install_engine.h"
#include "engine/platform/subprocess.h"
#include "engine/platform/unicode.h"

namespace nimbra {

std::string InstallEngine::run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                               double timeout) {
  const std::optional<Finished> finished = runWithTimeout(executable, arguments, timeout);
  if (!finished) throw InstallError("The application did not respond. Close Rhino and try again.");
  if (finished->status == 0) return finished->output;
  throw InstallError(trimmedWhitespace(finished->output));
}

}  // namespace nimbra
