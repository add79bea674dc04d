#pragma once
// Track markers: the two entries per track that the correction list holds at its boundaries.
#include "tracks/TrackContext.h"

namespace tarnival {

// Start marker of track i: width -2i; end marker: width -2i-1; magnitude 0.
Correction trackMarker(int track, bool start, int32_t position);
inline bool isTrackMarker(const Correction& c) {
    return c.width < 0;
}
// The track a marker belongs to.
inline int markerTrack(const Correction& c) {
    return -c.width / 2;
}
inline bool isStartMarker(const Correction& c) {
    return c.width < 0 && (-c.width) % 2 == 0;
}
// The track that begins at a start marker, or the one after an end marker's track.
inline int trackAfterMarker(const Correction& c) {
    return (1 - c.width) / 2;
}

// Removes every track marker from the list; returns how many went.
int RemoveTrackMarkers(CorrectionList& list);
// Replaces the track markers by two per track at their source positions. keepEntry is an entry
// index whose record the caller wants to follow (the selection); its new index is returned, 0
// when it is gone.
int RebuildTrackMarkers(TrackContext& ctx, int keepEntry = 0);

// Inserts a marker at its place in the list and counts it in its block.
void insertMarker(CorrectionList& list, const Correction& marker);
// The entry of the marker with this width, 0 when there is none.
int findMarker(const CorrectionList& list, int32_t width);

} // namespace tarnival
