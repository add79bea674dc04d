#pragma once
#include "output/TrackSink.h"

#include <array>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarnival {

// The variable-bit-rate quality for each "Ogg Quality" index.
constexpr std::array<float, 7> kOggQualities = {0.0f, 0.15f, 0.30f, 0.45f, 0.60f, 0.80f, 1.0f};
// The quality for a stored index; an index outside the table gives the default ("High").
float oggQualityForIndex(int index);

// The comments an Ogg Vorbis (or FLAC) file gets: "Album", "Title", "Artist", "Genre" when not
// empty, then always "TrackNumber": the track number, or the number the document's track-number
// text holds when none is given; empty when neither gives one.
std::vector<std::pair<std::string, std::string>> vorbisComments(const TrackTags& tags);

// Encodes a rendered track as Ogg Vorbis through libvorbis and libogg.
class OggSink : public TrackSink {
  public:
    OggSink(std::string path, int qualityIndex, UserInterface& ui);
    ~OggSink() override;
    bool begin(const TrackFormat& format, const TrackTags& tags) override;
    void write(const uint8_t* bytes, size_t count) override;
    bool finish() override;
    void abandon() noexcept override;

  private:
    struct Stream;
    std::string path_;
    float quality_;
    UserInterface& ui_;
    std::unique_ptr<Stream> stream_;
};

} // namespace tarnival
