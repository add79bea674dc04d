#pragma once
#include "output/TrackSink.h"

#include <memory>
#include <string>

namespace tarnival {

// libFLAC's compression levels.
constexpr int kFlacMinLevel = 0;
constexpr int kFlacMaxLevel = 8;
constexpr int kFlacDefaultLevel = 5;

// Encodes a rendered track losslessly as FLAC through libFLAC, which decodes every frame it
// writes and compares it with the input (verify mode). The tags are those of Ogg Vorbis output,
// as Vorbis comments; a seek table has a point every ten seconds.
class FlacSink : public TrackSink {
  public:
    // level: 0..8; outside that, the default.
    FlacSink(std::string path, int level, UserInterface& ui);
    ~FlacSink() override;
    bool begin(const TrackFormat& format, const TrackTags& tags) override;
    void write(const uint8_t* bytes, size_t count) override;
    bool finish() override;
    void abandon() noexcept override;

  private:
    struct Stream;
    std::string path_;
    int level_;
    UserInterface& ui_;
    std::unique_ptr<Stream> stream_;
};

} // namespace tarnival
