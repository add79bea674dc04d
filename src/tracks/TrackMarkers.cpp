#include "tracks/TrackMarkers.h"

#include <algorithm>

namespace tarnival {

void insertMarker(CorrectionList& list, const Correction& c) {
    list.insertOrdered(c);
    list.raiseBlockCounter(c.position);
}

namespace {

// Where a record the caller was following ended up after the markers moved.
int locate(const CorrectionList& list, const Correction& kept) {
    int last = list.count() - 2;
    if (isTrackMarker(kept)) {
        for (int i = 1; i <= last; ++i)
            if (list[i].width == kept.width) return i;
        return 0;
    }
    for (int i = list.findFirst(kept.position); i <= last && list[i].position == kept.position; ++i)
        if (list[i] == kept) return i;
    return 0;
}

} // namespace

Correction trackMarker(int track, bool start, int32_t position) {
    return Correction{1, 0, position, start ? -2 * track : -2 * track - 1, 0};
}

int RemoveTrackMarkers(CorrectionList& list) {
    auto& v = list.entries();
    if (v.size() < 2) return 0;
    int removed = 0;
    // Sentinels have width 0, so the whole array can be swept.
    auto keep = std::remove_if(v.begin(), v.end(), [&](const Correction& c) {
        if (!isTrackMarker(c)) return false;
        list.lowerBlockCounter(c.position);
        ++removed;
        return true;
    });
    v.erase(keep, v.end());
    return removed;
}

int RebuildTrackMarkers(TrackContext& ctx, int keepEntry) {
    CorrectionList& list = ctx.corrections;
    bool follow = keepEntry >= 1 && keepEntry <= list.count() - 2;
    Correction kept = follow ? list[keepEntry] : Correction{};
    RemoveTrackMarkers(list);
    const TrackList& tracks = ctx.tracks;
    int32_t wholeEnd = tracks[0].end;
    for (int i = 1; i <= tracks.trackCount(); ++i) {
        insertMarker(list, trackMarker(i, true, ctx.splices.displayToSource(tracks[i].start)));
        insertMarker(
            list,
            trackMarker(i, false, ctx.splices.displayToSource(std::min(tracks[i].end, wholeEnd))));
    }
    ctx.views().listRefilled();
    return follow ? locate(list, kept) : 0;
}

int findMarker(const CorrectionList& list, int32_t width) {
    for (int i = 1; i <= list.count() - 2; ++i)
        if (list[i].width == width) return i;
    return 0;
}

} // namespace tarnival
