#pragma once
// hidapi has no hotplug callbacks on every platform, so arrivals and removals are found by
// comparing the enumeration once a second. Changes are queued for the window thread, which
// is told through a notice and takes them with TakeEvents().

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/notice.h"
#include "link/hid_transport.h"

namespace zelto {

struct DeviceEvent {
  bool arrived = false;  // false: removed
  std::string path;
};

class DeviceWatcher {
 public:
  DeviceWatcher(HidTransport& transport, NoticeSink& sink,
                std::chrono::milliseconds period = std::chrono::milliseconds(1000));
  ~DeviceWatcher();

  /// Takes effect from the next wait; set it while the watcher is stopped.
  void SetPeriod(std::chrono::milliseconds period) { period_ = period; }
  void Start();
  void Stop();
  /// Compares the enumeration once; queues and announces what changed. Called by the thread.
  void Poll();
  std::vector<DeviceEvent> TakeEvents();

 private:
  HidTransport& transport_;
  NoticeSink& sink_;
  std::chrono::milliseconds period_;
  std::set<std::string> present_;
  bool primed_ = false;

  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::vector<DeviceEvent> events_;
  std::thread thread_;
};

}  // namespace zelto
