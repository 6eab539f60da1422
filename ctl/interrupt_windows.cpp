#include "ctl/interrupt.h"

#include <windows.h>

#include <atomic>
#include <csignal>

namespace zelto::ctl {
namespace {

// The console calls its handlers on a thread of its own and passes them nothing but the event,
// so the request waits here for the guard's owner to take it.
std::atomic<int> pendingRequest{0};

BOOL WINAPI TakeConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;  // closing the console still ends us
  pendingRequest = SIGINT;
  return TRUE;
}

}  // namespace

struct InterruptGuard::State {};

InterruptGuard::InterruptGuard() : state_(std::make_unique<State>()) {
  pendingRequest = 0;
  ::SetConsoleCtrlHandler(TakeConsoleControl, TRUE);
}

InterruptGuard::~InterruptGuard() {
  while (TakeRequest() != 0) {
  }
  ::SetConsoleCtrlHandler(TakeConsoleControl, FALSE);
  if (deferred_ != 0) std::raise(deferred_);
}

int InterruptGuard::TakeRequest() {
  const int signal = pendingRequest.exchange(0);
  if (signal == 0) return 0;
  if (!swallow_ && deferred_ == 0) deferred_ = signal;
  return signal;
}

}  // namespace zelto::ctl
