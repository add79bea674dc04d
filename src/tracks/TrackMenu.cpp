#include "tracks/TrackMenu.h"
#include "document/Format.h"
#include "tracks/TrackTimings.h"

namespace tarnival {

std::vector<TrackMenuItem> BuildTrackMenu(const TrackList& tracks, int sampleRate) {
    std::vector<TrackMenuItem> items;
    int n = tracks.trackCount();
    auto length = [&](int i) {
        return lengthText(int64_t{tracks[i].end} - tracks[i].start, sampleRate);
    };
    if (n == 1) {
        std::string text = "Track 1       " + length(1);
        if (!tracks[1].title.empty()) text += " " + tracks[1].title;
        items.push_back({kTrackMenuFirstId + 1, text});
    } else if (n > 1) {
        items.push_back({kTrackMenuFirstId, "All Tracks     " + length(0)});
        for (int i = 1; i <= n; ++i) {
            std::string text = "Track " + std::to_string(i) + "       " + length(i);
            const std::string& title = tracks[i].title;
            if (!title.empty() && title != "???") text += " " + title;
            items.push_back({kTrackMenuFirstId + i, text});
        }
    }
    return items;
}

std::string trackStatusText(const TrackList& tracks) {
    int n = tracks.trackCount();
    if (tracks.playTrack >= 1 && tracks.playTrack <= n)
        return formatText("Tr.%d of %d", tracks.playTrack, n);
    return "Tracks: " + std::to_string(n);
}

void UpdateTrackStatus(TrackContext& ctx) {
    ctx.ui.setStatusPane(3, trackStatusText(ctx.tracks));
    ctx.views().trackDisplayChanged();
}

} // namespace tarnival
