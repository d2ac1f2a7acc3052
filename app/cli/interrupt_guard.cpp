#include "app/cli/interrupt_guard.h"

#include <cstddef>
#include <iterator>

namespace nimbra::ui {

namespace {

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

}  // namespace

InterruptGuard::InterruptGuard() {
  interrupted = 0;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    struct sigaction action {};
    action.sa_handler = kSignals[i] == SIGPIPE ? SIG_IGN : onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(kSignals[i], &action, &previous_[i]);
  }
}

InterruptGuard::~InterruptGuard() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

bool InterruptGuard::requested() { return interrupted != 0; }

}  // namespace nimbra::ui
