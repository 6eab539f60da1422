#pragma once
// The connection flags shared by the window thread and the link worker. Each is written by one
// side and read by the other, so they are atomics.

#include <atomic>

namespace zelto {

struct ConnectionFlags {
  std::atomic<bool> connected{false};       // a processor connection is open
  std::atomic<bool> linkActive{false};      // the device is open and exchanges may run
  std::atomic<bool> updateMode{false};      // the worker runs firmware-update exchanges
  std::atomic<bool> updateFinished{false};  // the processor confirmed the end of an image
};

}  // namespace zelto
