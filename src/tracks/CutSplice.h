#pragma once
#include "tracks/TrackContext.h"

#include <cstdint>
#include <optional>
#include <utility>

namespace tarnival {

// Blends a into b over count 16-bit samples in place:
// a[i] = a[i] x (count - i) / count + i x b[i] / count, each term truncated toward zero.
void crossFadeSamples(int16_t* a, const int16_t* b, int count);

// Cuts the block [blockStart, blockEnd] (source positions) out of the recording, merging the
// tracks it touches first (which may ask or refuse). Returns the index of the new splice
// marker, which becomes the current entry; -1 when nothing was cut. The caller drops its
// selection and block afterwards.
int CutAndSplice(TrackContext& ctx, int32_t blockStart, int32_t blockEnd);
// Restores the cut whose splice marker is the given entry. Returns the restored stretch
// (source positions) for the view to show, or nothing (after a beep) when the entry is not a
// splice marker.
std::optional<std::pair<int32_t, int32_t>> RestoreCut(TrackContext& ctx, int spliceMarkerEntry);
// Drops one splice, its marker in the list, and renumbers the other markers.
void RemoveSplice(TrackContext& ctx, int index);
// Re-derives entry 0 and every track boundary from the markers after the cuts changed.
void RefreshTracks(TrackContext& ctx);

// Hides the entries that lie in a cut section again, after entries were added to the list.
void HideEntriesInCuts(TrackContext& ctx);

// Splice markers: width = index x 4, in list order.
void RenumberSpliceMarkers(CorrectionList& list);
// Puts one marker per splice into the list (replacing any there), numbered.
void InsertSpliceMarkers(TrackContext& ctx);
inline bool isSpliceMarker(const Correction& c) {
    return c.magnitude == magnitude_codes::kSplice && c.width >= 0;
}

} // namespace tarnival
