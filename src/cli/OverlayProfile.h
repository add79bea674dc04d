#pragma once
#include "document/Profile.h"

namespace tarnival {

// Reads the user's settings but keeps every change in memory: a command-line run with its own
// options should not change what the desktop application starts with.
class OverlayProfile : public MemoryProfile {
  public:
    explicit OverlayProfile(const Profile& base) : base_(base) {}

    int getInt(const std::string& section, const std::string& key, int def) const override {
        return MemoryProfile::getInt(section, key, base_.getInt(section, key, def));
    }
    std::string getString(const std::string& section, const std::string& key,
                          const std::string& def) const override {
        return MemoryProfile::getString(section, key, base_.getString(section, key, def));
    }
    std::optional<std::vector<uint8_t>> getBinary(const std::string& section,
                                                  const std::string& key) const override {
        auto mine = MemoryProfile::getBinary(section, key);
        return mine ? mine : base_.getBinary(section, key);
    }

  private:
    const Profile& base_;
};

} // namespace tarnival
