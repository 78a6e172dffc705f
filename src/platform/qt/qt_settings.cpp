// Settings in an INI file through QSettings.
#include "platform/qt/qt_settings.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <charconv>
#include <mutex>

namespace platform {
namespace {

QString KeyPath(std::string_view section, std::string_view key) {
  return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + QLatin1Char('/') +
         QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
}

// A whole decimal number in int range: an optional '-' and digits, nothing
// else (no blanks, no '+'), as settings.h defines the conversion.
std::optional<int> ParseInt(const std::string& text) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// The value as text when it is a number or a text; nullopt for bytes and
// anything else. A hand-edited file may hold "a, b" unquoted, which QSettings
// gives back as a list; it reads as the text it was.
std::optional<std::string> AsText(const QVariant& value) {
  switch (value.metaType().id()) {
    case QMetaType::QString: return value.toString().toStdString();
    case QMetaType::QStringList: return value.toStringList().join(QStringLiteral(", ")).toStdString();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: return value.toString().toStdString();
    default: return std::nullopt;
  }
}

}  // namespace

struct QtSettings::Impl {
  explicit Impl(const QString& path) : settings(path, QSettings::IniFormat) {}
  Impl()
      : settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Morvane"), QStringLiteral("Vividrome")) {}

  QVariant Read(std::string_view section, std::string_view key) const {
    std::lock_guard lock(mutex);
    return settings.value(KeyPath(section, key));
  }
  void Write(std::string_view section, std::string_view key, const QVariant& value) {
    std::lock_guard lock(mutex);
    settings.setValue(KeyPath(section, key), value);
    settings.sync();
  }

  mutable std::mutex mutex;
  QSettings settings;
};

QtSettings::QtSettings() : impl_(std::make_unique<Impl>()) {}
QtSettings::QtSettings(const std::string& path) : impl_(std::make_unique<Impl>(QString::fromStdString(path))) {}
QtSettings::~QtSettings() = default;

std::string QtSettings::FileName() const { return impl_->settings.fileName().toStdString(); }

int QtSettings::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
  const QVariant value = impl_->Read(section, key);
  if (value.metaType().id() == QMetaType::Int) return value.toInt();
  const std::optional<std::string> text = AsText(value);
  return text ? ParseInt(*text).value_or(defaultValue) : defaultValue;
}

void QtSettings::SetInt(std::string_view section, std::string_view key, int value) {
  impl_->Write(section, key, QVariant(value));
}

std::string QtSettings::GetString(std::string_view section, std::string_view key,
                                  std::string_view defaultValue) const {
  return AsText(impl_->Read(section, key)).value_or(std::string(defaultValue));
}

void QtSettings::SetString(std::string_view section, std::string_view key, std::string_view value) {
  impl_->Write(section, key, QVariant(QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()))));
}

std::optional<std::vector<uint8_t>> QtSettings::GetBinary(std::string_view section, std::string_view key) const {
  const QVariant value = impl_->Read(section, key);
  if (value.metaType().id() != QMetaType::QByteArray) return std::nullopt;
  const QByteArray bytes = value.toByteArray();
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void QtSettings::SetBinary(std::string_view section, std::string_view key, std::span<const uint8_t> value) {
  impl_->Write(section, key,
               QVariant(QByteArray(reinterpret_cast<const char*>(value.data()), static_cast<qsizetype>(value.size()))));
}

bool QtSettings::Remove(std::string_view section, std::string_view key) {
  std::lock_guard lock(impl_->mutex);
  const QString path = KeyPath(section, key);
  if (!impl_->settings.contains(path)) return false;
  impl_->settings.remove(path);
  impl_->settings.sync();
  return true;
}

bool QtSettings::HasKey(std::string_view section, std::string_view key) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->settings.contains(KeyPath(section, key));
}

}  // namespace platform
