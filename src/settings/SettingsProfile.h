#pragma once
#include "document/Profile.h"

#include <memory>

class QSettings;

namespace tarnival {

// Settings in the per-user INI file of organisation "Kelvarin", application "Tarnival".
class SettingsProfile : public Profile {
  public:
    SettingsProfile();
    // An explicit INI file, for tests and portable use.
    explicit SettingsProfile(const std::string& iniPath);
    ~SettingsProfile() override;

    int getInt(const std::string& section, const std::string& key, int def) const override;
    void setInt(const std::string& section, const std::string& key, int value) override;
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& def) const override;
    void setString(const std::string& section, const std::string& key,
                   const std::string& value) override;
    std::optional<std::vector<uint8_t>> getBinary(const std::string& section,
                                                  const std::string& key) const override;
    void setBinary(const std::string& section, const std::string& key,
                   const std::vector<uint8_t>& value) override;
    void sync();

  private:
    std::unique_ptr<QSettings> settings_;
};

} // namespace tarnival
