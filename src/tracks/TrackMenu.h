#pragma once
// What the views show of the tracks: the track menu and the status pane.
#include "tracks/TrackContext.h"

#include <string>
#include <vector>

namespace tarnival {

constexpr int kTrackMenuFirstId = 35000;
struct TrackMenuItem {
    int id;
    std::string text;
};
// The items of the track menu, in order.
std::vector<TrackMenuItem> BuildTrackMenu(const TrackList& tracks, int sampleRate);
// "Tracks: %d", or "Tr.%d of %d" while a track is chosen.
std::string trackStatusText(const TrackList& tracks);
// Writes the track pane and tells the views that the track display changed.
void UpdateTrackStatus(TrackContext& ctx);

} // namespace tarnival
