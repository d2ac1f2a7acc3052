#include "app/toolkit/headless/headless_toolkit.h"

#include <stdexcept>

namespace nimbra::ui {

int HeadlessToolkit::run(ApplicationDelegate& delegate) {
  delegate_ = &delegate;
  delegate.applicationDidFinishLaunching();
  drainMain();
  return 0;
}

void HeadlessToolkit::drainMain() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (main_.empty()) return;
      work = std::move(main_.front());
      main_.pop_front();
    }
    work();
  }
}

void HeadlessToolkit::runBackgroundJobs() {
  std::deque<std::function<void()>> jobs;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs.swap(background_);
  }
  for (auto& job : jobs) job();
  drainMain();
}

std::size_t HeadlessToolkit::pendingBackgroundJobs() {
  std::lock_guard<std::mutex> lock(mutex_);
  return background_.size();
}

void HeadlessToolkit::advance(double seconds) {
  const double end = now_ + seconds;
  for (;;) {
    auto next = scheduled_.begin();
    while (next != scheduled_.end() && !*next->second.alive) next = scheduled_.erase(next);
    if (next == scheduled_.end() || next->first > end + 1e-9) break;
    Scheduled item = std::move(next->second);
    scheduled_.erase(next);
    now_ = std::max(now_, item.due);
    if (item.interval > 0) {
      Scheduled again = item;
      again.due += item.interval;
      scheduled_.emplace(again.due, std::move(again));
    }
    item.work();
    drainMain();
  }
  now_ = end;
}

std::size_t HeadlessToolkit::activeTimers() const {
  std::size_t count = 0;
  for (const auto& [due, item] : scheduled_) count += (*item.alive && item.interval > 0) ? 1 : 0;
  return count;
}

void HeadlessToolkit::userClosesWindow() {
  if (window_ == nullptr || !window_->visible()) return;
  if (delegate_->windowShouldClose()) closeWindow(*window_);
}

void HeadlessToolkit::userQuits() {
  if (delegate_->applicationShouldTerminate()) terminated_ = true;
}

void HeadlessToolkit::postToMain(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  main_.push_back(std::move(work));
}

void HeadlessToolkit::runInBackground(std::function<void()> work) {
  std::lock_guard<std::mutex> lock(mutex_);
  background_.push_back(std::move(work));
}

std::unique_ptr<Timer> HeadlessToolkit::scheduleRepeating(double seconds, std::function<void()> tick) {
  auto alive = std::make_shared<bool>(true);
  scheduled_.emplace(now_ + seconds, Scheduled{now_ + seconds, seconds, std::move(tick), alive});
  return std::make_unique<FlagTimer>(alive);
}

void HeadlessToolkit::runAfter(double seconds, std::function<void()> work) {
  scheduled_.emplace(now_ + seconds, Scheduled{now_ + seconds, 0, std::move(work), std::make_shared<bool>(true)});
}

void HeadlessToolkit::showWindow(Window& window) {
  window_ = &window;
  window.setVisible(true);
}

void HeadlessToolkit::closeWindow(Window& window) {
  window.setVisible(false);
  if (delegate_ != nullptr && delegate_->applicationShouldTerminateAfterLastWindowClosed()) terminated_ = true;
}

void HeadlessToolkit::showAlert(const std::string& message, const std::string& informative) {
  alerts_.push_back({message, informative});
}

std::optional<std::filesystem::path> HeadlessToolkit::runOpenPanel(const OpenPanelRequest& request) {
  panelRequests_.push_back(request);
  if (panelAnswers_.empty()) return std::nullopt;
  auto answer = std::move(panelAnswers_.front());
  panelAnswers_.pop_front();
  return answer;
}

pid_t HeadlessToolkit::startApplication(FakeApplication application) {
  const pid_t pid = nextPid_++;
  running_[pid] = std::move(application);
  return pid;
}

std::vector<RunningApplication> HeadlessToolkit::runningApplications() {
  std::vector<RunningApplication> list;
  for (const auto& [pid, application] : running_) list.push_back({pid, application.bundle});
  return list;
}

std::vector<std::string> HeadlessToolkit::environmentOf(pid_t pid) {
  environmentReads_.push_back(pid);
  const auto found = running_.find(pid);
  return found != running_.end() ? found->second.environment : std::vector<std::string>{};
}

bool HeadlessToolkit::terminateApplication(pid_t pid) {
  const auto found = running_.find(pid);
  if (found == running_.end() || !found->second.reachable) return false;
  quitRequests_.push_back(pid);
  if (found->second.quitsWhenAsked) running_.erase(found);
  return true;
}

void HeadlessToolkit::launchApplication(const std::filesystem::path& application, const std::vector<std::string>&) {
  if (failLaunches_) throw std::runtime_error("The application cannot be opened.");
  launches_.push_back(application);
}

}  // namespace nimbra::ui
