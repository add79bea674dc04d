#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnival {

// The per-user settings store: integer, string and binary values by section and key.
class Profile {
  public:
    virtual ~Profile() = default;
    virtual int getInt(const std::string& section, const std::string& key, int def) const = 0;
    virtual void setInt(const std::string& section, const std::string& key, int value) = 0;
    virtual std::string getString(const std::string& section, const std::string& key,
                                  const std::string& def) const = 0;
    virtual void setString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
    virtual std::optional<std::vector<uint8_t>> getBinary(const std::string& section,
                                                          const std::string& key) const = 0;
    virtual void setBinary(const std::string& section, const std::string& key,
                           const std::vector<uint8_t>& value) = 0;
};

// Settings kept in memory only: tests and one-off runs.
class MemoryProfile : public Profile {
  public:
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

  private:
    using Key = std::pair<std::string, std::string>;
    std::map<Key, int> ints_;
    std::map<Key, std::string> strings_;
    std::map<Key, std::vector<uint8_t>> binaries_;
};

} // namespace tarnival
