#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <utility>

namespace nimbra {

// One step of an operation as it begins: what it does, and which step it is
// (from 1) of how many the operation takes in all.
struct ProgressStep {
  std::string text;
  std::size_t step = 0;
  std::size_t steps = 0;
};

// Called synchronously on the operation's thread as each step begins.
using Progress = std::function<void(const ProgressStep&)>;

// Counts an operation's steps where they happen. The total is fixed before
// the first step, the recovery that may come first included, so a display
// of step / steps only rises.
class StepCounter {
 public:
  StepCounter(Progress progress, std::size_t steps) : progress_(std::move(progress)), steps_(steps) {}

  // The next step begins. Past the total (a count that was wrong), the
  // total grows with it rather than the display passing its end.
  void begin(const std::string& text) {
    if (++done_ > steps_) steps_ = done_;
    if (progress_) progress_({text, done_, steps_});
  }
  // A step counted in the total that found nothing to do: it is done
  // without being announced.
  void pass() {
    if (done_ < steps_) ++done_;
  }
  std::size_t done() const { return done_; }
  std::size_t steps() const { return steps_; }

 private:
  Progress progress_;
  std::size_t steps_;
  std::size_t done_ = 0;
};

}  // namespace nimbra
