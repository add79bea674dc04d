#include "document/Profile.h"

namespace tarnival {

int MemoryProfile::getInt(const std::string& section, const std::string& key, int def) const {
    auto it = ints_.find({section, key});
    return it == ints_.end() ? def : it->second;
}

void MemoryProfile::setInt(const std::string& section, const std::string& key, int value) {
    ints_[{section, key}] = value;
}

std::string MemoryProfile::getString(const std::string& section, const std::string& key,
                                     const std::string& def) const {
    auto it = strings_.find({section, key});
    return it == strings_.end() ? def : it->second;
}

void MemoryProfile::setString(const std::string& section, const std::string& key,
                              const std::string& value) {
    strings_[{section, key}] = value;
}

std::optional<std::vector<uint8_t>> MemoryProfile::getBinary(const std::string& section,
                                                             const std::string& key) const {
    auto it = binaries_.find({section, key});
    if (it == binaries_.end()) return std::nullopt;
    return it->second;
}

void MemoryProfile::setBinary(const std::string& section, const std::string& key,
                              const std::vector<uint8_t>& value) {
    binaries_[{section, key}] = value;
}

} // namespace tarnival
