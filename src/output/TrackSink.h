#pragma once
#include "document/Settings.h"
#include "document/WaveHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace tarnival {

class UserInterface;

// What a sink needs to know before the first byte arrives: the rate, the alignment and every
// byte that write() will receive, silences included.
using TrackFormat = WaveFormat;

// The tags every encoder may write.
struct TrackTags {
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    int trackNumber = 0;         // 0: none given, use trackNumberText
    std::string trackNumberText; // the document's track-number text
};

// Where a rendered track goes: a wave file, or an encoder. The renderer calls begin once, write
// for every block of bytes (silence included, 16-bit stereo, whole samples), then finish; on any
// failure or cancel it calls abandon instead of finish. A sink writes to the path it was made
// for, a fresh empty file that the renderer has created under a temporary name: the renderer
// gives it its real name once finish succeeds, and removes it otherwise.
class TrackSink {
  public:
    virtual ~TrackSink() = default;
    // Returns false when the sink cannot start; it has told the user and left no file behind.
    virtual bool begin(const TrackFormat& format, const TrackTags& tags) = 0;
    virtual void write(const uint8_t* bytes, size_t count) = 0;
    // Returns false when the output could not be completed; the user has been told.
    virtual bool finish() = 0;
    // Stops writing and closes the file; the renderer removes it. Must not throw.
    virtual void abandon() noexcept = 0;
};

struct OutputOptions;

// The sink for the chosen output type, writing to path; nullptr when the type has no sink.
std::unique_ptr<TrackSink> makeTrackSink(const OutputOptions& options, const std::string& path,
                                         UserInterface& ui);

} // namespace tarnival
