#pragma once
// The recent-file list of the file menu: the last four PC preset files opened or saved, newest
// first, kept in the per-user settings under the key the document framework used for it.

#include <string>
#include <vector>

#include "core/settings.h"

namespace zelto {

class RecentFiles {
 public:
  static constexpr int kEntries = 4;
  static constexpr const char* kSettingsKey =
      "Software\\Local AppWizard-Generated Applications\\Zelto\\Recent File List";

  explicit RecentFiles(Settings& settings) : settings_(settings) {}

  /// The files, newest first; empty and repeated entries of the store are skipped.
  std::vector<std::string> List() const;
  /// Puts `path` first (moving it up when it is listed already) and keeps the newest four.
  void Add(const std::string& path);
  /// Takes `path` off the list (a file that could not be opened).
  void Remove(const std::string& path);

  /// The value name of entry `index` (0-based): "File1" .. "File4".
  static std::string ValueName(int index);

 private:
  void Store(const std::vector<std::string>& paths);

  Settings& settings_;
};

}  // namespace zelto
