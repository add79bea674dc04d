#pragma once
#include "tracks/Track.h"

#include <vector>

namespace tarnival {

// The document's tracks: entry 0 is the whole recording, entries 1..n the tracks.
class TrackList {
  public:
    TrackVector tracks{Track{}};

    int count() const { return static_cast<int>(tracks.size()); }
    Track& operator[](int i) { return tracks[static_cast<size_t>(i)]; }
    const Track& operator[](int i) const { return tracks[static_cast<size_t>(i)]; }
};

} // namespace tarnival
