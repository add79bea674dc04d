#pragma once
#include "output/TrackSink.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarnival {

class ApeEncoder;
class File;

// The APE tag items of a track: "Album", "Title", "Artist", "Genre" when not empty, then always
// "Track" (the number, or the document's track-number text when the number is 0).
std::vector<std::pair<std::string, std::string>> apeTagItems(const TrackTags& tags);

// Compresses a rendered track into an APE file with our own encoder.
class ApeSink : public TrackSink {
  public:
    // levelIndex: the "Ape Level" index (0..3).
    ApeSink(std::string path, int levelIndex, UserInterface& ui);
    ~ApeSink() override;
    bool begin(const TrackFormat& format, const TrackTags& tags) override;
    void write(const uint8_t* bytes, size_t count) override;
    bool finish() override;
    void abandon() noexcept override;

  private:
    std::string path_;
    int level_;
    UserInterface& ui_;
    std::unique_ptr<File> file_;
    std::unique_ptr<ApeEncoder> encoder_;
    std::vector<uint8_t> tag_;
};

} // namespace tarnival
