#include "ctl/interrupt.h"

#include <pthread.h>

#include <csignal>
#include <ctime>

namespace zelto::ctl {

struct InterruptGuard::State {
  sigset_t guarded{};
  sigset_t previous{};
};

InterruptGuard::InterruptGuard() : state_(std::make_unique<State>()) {
  sigemptyset(&state_->guarded);
  sigaddset(&state_->guarded, SIGINT);
  sigaddset(&state_->guarded, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &state_->guarded, &state_->previous);
}

InterruptGuard::~InterruptGuard() {
  // Left pending, a request would strike the moment the mask is restored: take it first.
  while (TakeRequest() != 0) {
  }
  pthread_sigmask(SIG_SETMASK, &state_->previous, nullptr);
  if (deferred_ != 0) std::raise(deferred_);
}

int InterruptGuard::TakeRequest() {
  const timespec noWait{0, 0};
  const int signal = sigtimedwait(&state_->guarded, nullptr, &noWait);
  if (signal <= 0) return 0;
  if (!swallow_ && deferred_ == 0) deferred_ = signal;
  return signal;
}

}  // namespace zelto::ctl
