#include <chrono>
#include <thread>

#include "engine/install_engine.h"
#include "engine/platform/subprocess.h"
#include "engine/platform/unicode.h"

namespace nimbra {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(50);
// How long, after the child has ended, its output may take to reach its end.
// Only a grandchild that kept the pipe open takes longer; its output is not
// waited for.
constexpr auto kOutputGrace = std::chrono::seconds(1);

}  // namespace

std::string InstallEngine::run(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                               double timeout) {
  Subprocess child(executable, arguments);
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(std::max(timeout, 0.0)));
  // The child's state is tested before the clock, so one that has already
  // ended is never waited for.
  while (child.running()) {
    if (Clock::now() >= deadline) break;
    std::this_thread::sleep_for(kPollInterval);
  }
  if (child.running()) {
    child.terminate();
    throw InstallError("The application did not respond. Close Rhino and try again.");
  }
  const std::string text = repairedUTF8(child.output(Clock::now() + kOutputGrace));
  if (child.status() == 0) return text;
  throw InstallError(trimmedWhitespace(text));
}

}  // namespace nimbra
