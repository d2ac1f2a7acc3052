#include "app/cli/console_loop.h"

#include <chrono>

namespace nimbra::ui {

ConsoleLoop::~ConsoleLoop() {
  for (std::thread& thread : threads_) thread.join();
}

void ConsoleLoop::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    if (!main_.empty()) {
      std::function<void()> work = std::move(main_.front());
      main_.pop_front();
      lock.unlock();
      work();
      lock.lock();
      continue;
    }
    if (!timers_.empty() && timers_.begin()->first <= now()) {
      auto due = timers_.extract(timers_.begin());
      Scheduled& scheduled = due.mapped();
      if (!*scheduled.alive) continue;
      if (scheduled.interval > 0) schedule(due.key() + scheduled.interval, scheduled);
      lock.unlock();
      scheduled.work();
      lock.lock();
      continue;
    }
    if (timers_.empty()) {
      wake_.wait(lock);
    } else {
      wake_.wait_for(lock, std::chrono::duration<double>(timers_.begin()->first - now()));
    }
  }
}

void ConsoleLoop::quit() {
  const std::lock_guard lock(mutex_);
  quit_ = true;
  wake_.notify_all();
}

void ConsoleLoop::postToMain(std::function<void()> work) {
  const std::lock_guard lock(mutex_);
  main_.push_back(std::move(work));
  wake_.notify_all();
}

void ConsoleLoop::runInBackground(std::function<void()> work) {
  const std::lock_guard lock(mutex_);
  threads_.emplace_back(std::move(work));
}

std::unique_ptr<Timer> ConsoleLoop::scheduleRepeating(double seconds, std::function<void()> tick) {
  auto alive = std::make_shared<bool>(true);
  const std::lock_guard lock(mutex_);
  schedule(now() + seconds, {seconds, std::move(tick), alive});
  return std::make_unique<FlagTimer>(alive);
}

void ConsoleLoop::runAfter(double seconds, std::function<void()> work) {
  const std::lock_guard lock(mutex_);
  schedule(now() + seconds, {0, std::move(work), std::make_shared<bool>(true)});
}

double ConsoleLoop::now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ConsoleLoop::schedule(double due, Scheduled scheduled) {
  timers_.emplace(due, std::move(scheduled));
  wake_.notify_all();
}

}  // namespace nimbra::ui
