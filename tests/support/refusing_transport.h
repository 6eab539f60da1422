#pragma once
// A processor that enumerates but refuses to be opened, as a hidraw node without the udev rule
// does: the simulated processor behind a door that opens only when the test says so.

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "link/hid_transport.h"
#include "sim/sim_transport.h"

namespace zelto::testing {

class RefusingTransport final : public HidTransport {
 public:
  RefusingTransport(OpenRefusal reason, std::string detail) : reason_(reason), detail_(std::move(detail)) {}

  std::vector<HidDeviceInfo> Enumerate() override { return sim_.Enumerate(); }
  std::unique_ptr<HidDevice> Open(const std::string& path) override { return refusing ? nullptr : sim_.Open(path); }
  std::string LastError() const override { return refusing ? detail_ : sim_.LastError(); }
  OpenRefusal LastRefusal() const override { return reason_; }

  std::atomic<bool> refusing{true};

 private:
  sim::SimTransport sim_;
  OpenRefusal reason_;
  std::string detail_;
};

}  // namespace zelto::testing
