#include "link/device_watcher.h"

#include <utility>

namespace zelto {

DeviceWatcher::DeviceWatcher(HidTransport& transport, NoticeSink& sink, std::chrono::milliseconds period)
    : transport_(transport), sink_(sink), period_(period) {}

DeviceWatcher::~DeviceWatcher() { Stop(); }

void DeviceWatcher::Start() {
  if (thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stop_ = false;
  }
  thread_ = std::thread([this] {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      lock.unlock();
      Poll();
      lock.lock();
      cv_.wait_for(lock, period_, [this] { return stop_; });
    }
  });
}

void DeviceWatcher::Stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  cv_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void DeviceWatcher::Poll() {
  std::set<std::string> now;
  for (const auto& d : transport_.Enumerate()) now.insert(d.path);
  // The first look only learns what is already there: those devices did not arrive.
  if (!primed_) {
    present_ = std::move(now);
    primed_ = true;
    return;
  }
  std::vector<DeviceEvent> changes;
  for (const auto& p : present_)
    if (!now.count(p)) changes.push_back({false, p});
  for (const auto& p : now)
    if (!present_.count(p)) changes.push_back({true, p});
  present_ = std::move(now);
  if (changes.empty()) return;
  bool arrived = false, removed = false;
  {
    std::lock_guard lock(mutex_);
    for (auto& c : changes) {
      (c.arrived ? arrived : removed) = true;
      events_.push_back(std::move(c));
    }
  }
  if (removed) sink_.Post(Notice::DeviceRemoved, 0, 0);
  if (arrived) sink_.Post(Notice::DeviceArrived, 0, 0);
}

std::vector<DeviceEvent> DeviceWatcher::TakeEvents() {
  std::lock_guard lock(mutex_);
  return std::exchange(events_, {});
}

}  // namespace zelto
