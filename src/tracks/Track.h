#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

// One track; entry 0 of the list spans the whole recording and holds the album-wide tags.
// Positions are display positions (cuts removed). Lengths are bytes.
struct Track {
    int32_t fadeIn = 0;
    int32_t fadeOut = 0;
    int32_t preSilence = 0;
    int32_t postSilence = 0;
    int32_t start = 0;
    int32_t end = 0; // one past the last byte; 0 while detection has the track open
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;

    bool operator==(const Track&) const = default;
};

using TrackVector = std::vector<Track>;

} // namespace tarnival
