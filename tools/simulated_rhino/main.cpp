// The executable of a simulated Rhino: runs until it is asked to quit
// (SIGTERM), then takes the number of seconds written in
// Contents/Resources/quit-delay (as Rhino does while the user saves) and ends.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

volatile sig_atomic_t quitRequested = 0;

void onQuitRequest(int) { quitRequested = 1; }

double quitDelay() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  std::ifstream file(self.parent_path().parent_path() / "Resources/quit-delay");
  double seconds = 0;
  file >> seconds;
  return seconds > 0 ? seconds : 0;
}

}  // namespace

int main() {
  struct sigaction action {};
  action.sa_handler = onQuitRequest;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  // Whoever launched it may wait to hear that quit requests are now answered.
  if (const char* ready = std::getenv("NIMBRA_READY_FD")) {
    const int fd = std::atoi(ready);
    [[maybe_unused]] const ssize_t wrote = ::write(fd, "r", 1);
    ::close(fd);
  }
  while (!quitRequested) ::pause();
  std::this_thread::sleep_for(std::chrono::duration<double>(quitDelay()));
  return 0;
}
