#include "presets/recent_files.h"

#include <algorithm>

namespace zelto {

std::string RecentFiles::ValueName(int index) { return "File" + std::to_string(index + 1); }

std::vector<std::string> RecentFiles::List() const {
  std::vector<std::string> paths;
  for (int i = 0; i < kEntries; ++i) {
    const auto value = settings_.Get(kSettingsKey, ValueName(i));
    if (!value || value->empty()) continue;
    if (std::find(paths.begin(), paths.end(), *value) != paths.end()) continue;
    paths.push_back(*value);
  }
  return paths;
}

void RecentFiles::Add(const std::string& path) {
  if (path.empty()) return;
  std::vector<std::string> paths = List();
  std::erase(paths, path);
  paths.insert(paths.begin(), path);
  if (paths.size() > static_cast<std::size_t>(kEntries)) paths.resize(kEntries);
  Store(paths);
}

void RecentFiles::Remove(const std::string& path) {
  std::vector<std::string> paths = List();
  if (std::erase(paths, path) == 0) return;
  Store(paths);
}

void RecentFiles::Store(const std::vector<std::string>& paths) {
  for (int i = 0; i < kEntries; ++i) {
    if (i < static_cast<int>(paths.size())) {
      settings_.Set(kSettingsKey, ValueName(i), paths[static_cast<std::size_t>(i)]);
    } else {
      settings_.Remove(kSettingsKey, ValueName(i));
    }
  }
}

}  // namespace zelto
