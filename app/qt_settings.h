#pragma once
// The values kept between runs, in Qt's per-user store: on Windows the registry under
// HKEY_CURRENT_USER with the keys as they are named, elsewhere Qt's native settings file.

#include <QSettings>
#include <memory>

#include "core/settings.h"

namespace zelto {

class QtSettings final : public Settings {
 public:
  /// The user's store of this program.
  QtSettings();
  /// An INI file of its own (tests, portable set-ups).
  explicit QtSettings(const QString& iniFile);

  std::optional<std::string> Get(const std::string& key, const std::string& name) override;
  void Set(const std::string& key, const std::string& name, const std::string& value) override;
  void Remove(const std::string& key, const std::string& name) override;

  /// Where the values live (a file path, or the registry path on Windows).
  QString Location() const;

 private:
  /// The settings path of one value: the key's parts as groups, the value name escaped so that a
  /// device path (which holds slashes) stays one entry.
  static QString PathOf(const std::string& key, const std::string& name);

  std::unique_ptr<QSettings> store_;
};

}  // namespace zelto
