// How soon the window appears, against a bare Qt window of the same size, and
// how soon after it "Install Nimbra" can be pressed, with two simulated Rhinos
// to find. Each is a process of its own, started in turns, five of each; the
// times run from the spawn to the first frame exposed. Run under a display:
//   xvfb-run -a build/default/bench/window_start

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/installer_app.h"
#include "app/toolkit/qt/qt_toolkit.h"
#include "app/visual_kit.h"
#include "tools/release_packer/release_packer.h"
#include "tools/release_packer/signing_key.h"
#include "tools/simulated_rhino/rhino_bundle.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace nimbra;

namespace {

constexpr int kRounds = 5;

double monotonic() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Seconds since the driver spawned this process.
double sinceSpawn() { return monotonic() - std::stod(std::getenv("NIMBRA_BENCH_SPAWNED")); }

// Watches every event of the application: the first window exposed, and
// "Install Nimbra" enabled. Ends the process once it has what it waits for.
class Watch : public QObject {
 public:
  explicit Watch(bool waitsForInstall) : waitsForInstall_(waitsForInstall) {}

 protected:
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Expose && shown_ < 0) {
      const auto* window = qobject_cast<QWindow*>(object);
      if (window != nullptr && window->isExposed()) shown_ = sinceSpawn();
    }
    const bool mayEnable = event->type() == QEvent::EnabledChange || event->type() == QEvent::Show ||
                           event->type() == QEvent::Expose || event->type() == QEvent::UpdateRequest;
    if (waitsForInstall_ && mayEnable && enabled_ < 0 && installEnabled()) enabled_ = sinceSpawn();
    if (shown_ >= 0 && (!waitsForInstall_ || enabled_ >= 0)) {
      std::printf("%.4f %.4f\n", shown_, std::max(enabled_, shown_));
      std::fflush(stdout);
      std::_Exit(0);
    }
    return false;
  }

 private:
  static bool installEnabled() {
    for (QWidget* widget : QApplication::allWidgets()) {
      if (qobject_cast<QAbstractButton*>(widget) != nullptr && widget->accessibleName() == "Install Nimbra" &&
          widget->isEnabled() && widget->isVisible()) {
        return true;
      }
    }
    return false;
  }
  bool waitsForInstall_;
  double shown_ = -1, enabled_ = -1;
};

bool watchesInstall = false;
void watchEvents() { qApp->installEventFilter(new Watch(watchesInstall)); }

int bareWindow(int argc, char** argv) {
  qAddPreRoutine(watchEvents);
  QApplication application(argc, argv);
  QWidget window;
  window.resize(900, 650);
  window.setWindowTitle("Bare");
  window.show();
  return QApplication::exec();
}

// The installer's window over a home with Rhino 7 and 8 in ~/Applications.
int installerWindow(int argc, char** argv, const fs::path& data) {
  watchesInstall = true;
  qAddPreRoutine(watchEvents);
  ::setenv("HOME", (data / "home").c_str(), 1);
  ui::QtToolkit toolkit(argc, argv, ui::kTheme);
  ui::InstallerApp app(toolkit, [&](const fs::path&, const fs::path& home) {
    return std::make_unique<InstallEngine>(data / "payload", home);
  });
  return toolkit.run(app);
}

void prepare(const fs::path& data) {
  if (fs::exists(data / "payload/release.json.sig")) return;
  for (const std::int64_t major : {7, 8}) {
    simulated::makeRhinoBundle(data / "home/Applications" / ("Rhino " + std::to_string(major) + ".app"), {.major = major});
  }
  fs::create_directories(data / "payload/Package");
  std::FILE* file = std::fopen((data / "payload/Package/Nimbra.gha").c_str(), "w");
  std::fputs("Nimbra", file);
  std::fclose(file);
  const packer::SigningKey key = packer::SigningKey::read(NIMBRA_SIGNING_KEY_FILE);
  packer::packRelease(data / "payload", "1.0.0", {{7, "Package"}, {8, "Package"}}, &key);
}

// One child's two times: the window shown, "Install Nimbra" enabled.
std::pair<double, double> timeChild(const char* self, const char* mode) {
  const std::string spawned = "NIMBRA_BENCH_SPAWNED=" + std::to_string(monotonic());
  std::vector<char*> environment;
  for (char** variable = environ; *variable != nullptr; ++variable) environment.push_back(*variable);
  environment.push_back(const_cast<char*>(spawned.c_str()));
  environment.push_back(nullptr);
  int ends[2];
  if (::pipe(ends) != 0) std::exit(1);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], 1);
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
  pid_t child = -1;
  if (::posix_spawn(&child, self, &actions, nullptr, argv, environment.data()) != 0) std::exit(1);
  ::close(ends[1]);
  char text[128] = {};
  const ssize_t read = ::read(ends[0], text, sizeof text - 1);
  ::close(ends[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  double shown = 0, enabled = 0;
  if (read <= 0 || std::sscanf(text, "%lf %lf", &shown, &enabled) != 2) std::exit(1);
  return {shown, enabled};
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path data = "/tmp/nimbra-bench-window";
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "bare") return bareWindow(argc, argv);
  if (mode == "installer") return installerWindow(argc, argv, data);
  if (std::getenv("DISPLAY") == nullptr) {
    std::fprintf(stderr, "Needs a display: xvfb-run -a %s\n", argv[0]);
    return 2;
  }
  prepare(data);
  const std::string self = fs::canonical("/proc/self/exe").string();
  timeChild(self.c_str(), "bare");  // once to warm the caches, not counted
  timeChild(self.c_str(), "installer");
  std::vector<double> bare, shown, enabledAfter;
  for (int round = 0; round < kRounds; ++round) {
    bare.push_back(timeChild(self.c_str(), "bare").first);
    const auto [window, enabled] = timeChild(self.c_str(), "installer");
    shown.push_back(window);
    enabledAfter.push_back(enabled - window);
    std::printf("round %d: bare window %.3f s, installer window %.3f s, Install enabled %.3f s after it\n", round + 1,
                bare.back(), window, enabledAfter.back());
  }
  const double ratio = median(shown) / median(bare);
  std::printf("median: bare window %.3f s, installer window %.3f s (%.2fx), Install enabled %.3f s after it\n",
              median(bare), median(shown), ratio, median(enabledAfter));
  std::printf("targets: window within 1.3x a bare one: %s; Install within 0.1 s after: %s\n",
              ratio <= 1.3 ? "met" : "NOT MET", median(enabledAfter) <= 0.1 ? "met" : "NOT MET");
  return 0;
}
