#pragma once

// The command line's main queue: runs posted work and timers on the thread
// that calls run(), in time order, with a real clock; background work on
// threads of its own, joined when the loop goes.

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/toolkit/toolkit.h"

namespace nimbra::ui {

class ConsoleLoop : public Scheduler {
 public:
  ~ConsoleLoop() override;

  // Runs until quit() is called.
  void run();
  // Any thread.
  void quit();

  void postToMain(std::function<void()> work) override;
  void runInBackground(std::function<void()> work) override;
  std::unique_ptr<Timer> scheduleRepeating(double seconds, std::function<void()> tick) override;
  void runAfter(double seconds, std::function<void()> work) override;
  double now() override;

 private:
  struct Scheduled {
    double interval;  // 0: once
    std::function<void()> work;
    std::shared_ptr<bool> alive;
  };
  void schedule(double due, Scheduled scheduled);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> main_;
  std::multimap<double, Scheduled> timers_;
  std::vector<std::thread> threads_;
  bool quit_ = false;
};

}  // namespace nimbra::ui
