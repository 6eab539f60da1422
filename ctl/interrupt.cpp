#include "ctl/interrupt.h"

#include <pthread.h>

#include <ctime>

namespace zelto::ctl {

InterruptGuard::InterruptGuard() {
  sigemptyset(&guarded_);
  sigaddset(&guarded_, SIGINT);
  sigaddset(&guarded_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &guarded_, &previous_);
}

InterruptGuard::~InterruptGuard() {
  // A request made during the update is answered already; it must not end the tool afterwards.
  while (TakeRequest()) {
  }
  pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

bool InterruptGuard::TakeRequest() {
  const timespec noWait{0, 0};
  return sigtimedwait(&guarded_, nullptr, &noWait) > 0;
}

}  // namespace zelto::ctl
