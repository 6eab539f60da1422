#include "app/qt_settings.h"

#include <QByteArray>

namespace zelto {

namespace {
constexpr const char* kOrganisation = "Zelto";
constexpr const char* kApplication = "zelto";
}  // namespace

// Windows keeps the settings under the user's registry hive; elsewhere in the platform's own place.
#ifdef Q_OS_WIN
QtSettings::QtSettings()
    : store_(std::make_unique<QSettings>(QStringLiteral("HKEY_CURRENT_USER"), QSettings::NativeFormat)) {}
#else
QtSettings::QtSettings()
    : store_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication)) {}
#endif

QtSettings::QtSettings(const QString& iniFile) : store_(std::make_unique<QSettings>(iniFile, QSettings::IniFormat)) {}

QString QtSettings::PathOf(const std::string& key, const std::string& name) {
  QString path = QString::fromStdString(key);
  path.replace(QLatin1Char('\\'), QLatin1Char('/'));
  const QByteArray escaped = QByteArray::fromStdString(name).toPercentEncoding();
  return path + QLatin1Char('/') + QString::fromLatin1(escaped);
}

std::optional<std::string> QtSettings::Get(const std::string& key, const std::string& name) {
  const QString path = PathOf(key, name);
  if (!store_->contains(path)) return std::nullopt;
  return store_->value(path).toString().toStdString();
}

void QtSettings::Set(const std::string& key, const std::string& name, const std::string& value) {
  store_->setValue(PathOf(key, name), QString::fromStdString(value));
  store_->sync();
}

void QtSettings::Remove(const std::string& key, const std::string& name) {
  store_->remove(PathOf(key, name));
  store_->sync();
}

QString QtSettings::Location() const { return store_->fileName(); }

}  // namespace zelto
