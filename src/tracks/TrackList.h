#pragma once
#include "tracks/Track.h"

#include <string>
#include <vector>

namespace tarnival {

// The document's tracks: entry 0 is the whole recording, entries 1..n the tracks. The flags that
// travel with the list live here too.
class TrackList {
  public:
    TrackVector tracks{Track{}};

    bool gapless = false;        // "Gapless": each track ends where the next begins
    bool fadeLinear = false;     // "Fade Linear"; false: logarithmic fades
    bool rescanned = false;      // the user re-ran detection on this file
    std::string defaultArtist;   // shown as "Not Set" when empty
    std::string trackNumberText; // "Track" item of an APE input's tag, else empty
    int playTrack = 0;           // track chosen for playback, 0: none (all tracks)

    int count() const { return static_cast<int>(tracks.size()); }
    // Number of real tracks (entry 0 not counted).
    int trackCount() const { return count() > 0 ? count() - 1 : 0; }
    Track& operator[](int i) { return tracks[static_cast<size_t>(i)]; }
    const Track& operator[](int i) const { return tracks[static_cast<size_t>(i)]; }

    // The track that holds display position p: the last track starting at or before it, or
    // track 1 when p lies before every track; 0 when there are no tracks.
    int holding(int32_t p) const {
        int n = trackCount();
        if (n == 0) return 0;
        int found = 1;
        for (int i = 1; i <= n; ++i)
            if (tracks[static_cast<size_t>(i)].start <= p) found = i;
        return found;
    }
};

} // namespace tarnival
