#include "settings/SettingsProfile.h"

#include <QSettings>
#include <QString>

namespace tarnival {

namespace {
QString keyOf(const std::string& section, const std::string& key) {
    return QString::fromStdString(section) + "/" + QString::fromStdString(key);
}
} // namespace

SettingsProfile::SettingsProfile()
    : settings_(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Kelvarin",
                                            "Tarnival")) {}

SettingsProfile::SettingsProfile(const std::string& iniPath)
    : settings_(
          std::make_unique<QSettings>(QString::fromStdString(iniPath), QSettings::IniFormat)) {}

SettingsProfile::~SettingsProfile() = default;

int SettingsProfile::getInt(const std::string& section, const std::string& key, int def) const {
    bool ok = false;
    int v = settings_->value(keyOf(section, key), def).toInt(&ok);
    // A hand-edited value that is not a number reads as absent.
    return ok ? v : def;
}

void SettingsProfile::setInt(const std::string& section, const std::string& key, int value) {
    settings_->setValue(keyOf(section, key), value);
}

std::string SettingsProfile::getString(const std::string& section, const std::string& key,
                                       const std::string& def) const {
    QVariant v = settings_->value(keyOf(section, key));
    return v.isValid() ? v.toString().toStdString() : def;
}

void SettingsProfile::setString(const std::string& section, const std::string& key,
                                const std::string& value) {
    settings_->setValue(keyOf(section, key), QString::fromStdString(value));
}

std::optional<std::vector<uint8_t>> SettingsProfile::getBinary(const std::string& section,
                                                               const std::string& key) const {
    QVariant v = settings_->value(keyOf(section, key));
    if (!v.isValid()) return std::nullopt;
    QByteArray bytes = v.toByteArray();
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

void SettingsProfile::setBinary(const std::string& section, const std::string& key,
                                const std::vector<uint8_t>& value) {
    settings_->setValue(keyOf(section, key), QByteArray(reinterpret_cast<const char*>(value.data()),
                                                        static_cast<qsizetype>(value.size())));
}

void SettingsProfile::sync() {
    settings_->sync();
}

} // namespace tarnival
