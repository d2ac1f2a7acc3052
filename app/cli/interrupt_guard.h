#pragma once

// The signals that ask the command line to stop, held for the whole of a
// command: Ctrl+C (SIGINT), Ctrl+\ (SIGQUIT), a closed terminal or ssh
// session (SIGHUP) and a deployment tool's quit request (SIGTERM) are all one
// request, which cancels a wait for Rhino; an install under way finishes, and
// the outcome is reported and logged all the same. A reader that went away
// (SIGPIPE) ends nothing either: the write fails and the work goes on.

#include <signal.h>

namespace nimbra::ui {

class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

  // Whether one of the signals has come since the guard was made.
  static bool requested();

 private:
  static constexpr int kSignals[] = {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE};
  struct sigaction previous_[sizeof kSignals / sizeof kSignals[0]] {};
};

}  // namespace nimbra::ui
