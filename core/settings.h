#pragma once
// The few values the program keeps between runs (device claims, the last update file).
// The window implements this with QSettings; tests and the command-line tool use MemorySettings.

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace zelto {

class Settings {
 public:
  virtual ~Settings() = default;
  /// Value `name` under `key`, or nothing when the key or the value does not exist.
  virtual std::optional<std::string> Get(const std::string& key, const std::string& name) = 0;
  virtual void Set(const std::string& key, const std::string& name, const std::string& value) = 0;
  virtual void Remove(const std::string& key, const std::string& name) = 0;
};

class MemorySettings final : public Settings {
 public:
  std::optional<std::string> Get(const std::string& key, const std::string& name) override {
    std::lock_guard lock(mutex_);
    auto it = values_.find(key + '\n' + name);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  void Set(const std::string& key, const std::string& name, const std::string& value) override {
    std::lock_guard lock(mutex_);
    values_[key + '\n' + name] = value;
  }
  void Remove(const std::string& key, const std::string& name) override {
    std::lock_guard lock(mutex_);
    values_.erase(key + '\n' + name);
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::string> values_;
};

}  // namespace zelto
