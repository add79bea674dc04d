#pragma once
#include "tracks/TrackContext.h"
#include "tracks/TrackDetection.h" // editing and detection are used together

#include <map>
#include <string>
#include <vector>

namespace tarnival {

// ---- Track markers in the correction list ----------------------------------------------------

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

// ---- The list ------------------------------------------------------------------------------

// Empties the list to entry 0 spanning the whole recording. apeTags: the tag items of an APE
// input ("Album", "Artist", "Title", "Genre", "Track"), null for a wave input.
void ResetTrackList(TrackContext& ctx, const std::map<std::string, std::string>* apeTags = nullptr);
// As ResetTrackList, then one track from the earliest track position to the end (what a load
// starts from).
void ResetToSingleTrack(TrackContext& ctx,
                        const std::map<std::string, std::string>* apeTags = nullptr);

// Track first takes the end, fade-out and post-silence of track last; the tracks after first
// up to last go. False (nothing done) when the range is not 1 <= first < last <= n.
bool MergeTracks(TrackContext& ctx, int first, int last);
// Splits the track under the source position on the sector grid. Returns the index of the new
// end marker (to be selected), or -1 when refused.
int SplitTrack(TrackContext& ctx, int32_t position);
// Merges at the track marker of the given entry after asking. True when merged.
bool MergeAtMarker(TrackContext& ctx, int markerEntry);
// Merges every track touched by the block [blockStart, blockEnd] (source positions) after
// asking. forCut: the form that runs before a cut; returns whether the cut may go on.
bool MergeTracksInBlock(TrackContext& ctx, int32_t blockStart, int32_t blockEnd,
                        bool forCut = false);
// Splits at every cue marker in list order; returns the number of splits made and, through
// lastSelected, the entry the last split selected.
int CueMarkersToTracks(TrackContext& ctx, int* lastSelected = nullptr);
// Asks (when switching on) and inverts the gapless flag, re-aligning every boundary when it
// comes on. Returns the new index of selectedEntry.
int ToggleGapless(TrackContext& ctx, int selectedEntry);

// Gapless re-alignment when the flag comes on, measured from the start side:
// start - floor((start - previousEnd) / 4704) x 2352.
int32_t realignedGaplessBoundary(int32_t previousEnd, int32_t start);

// The limits of the boundary tool, q a display position.
bool BoundaryMoveAllowed(const TrackList& tracks, int track, bool isStart, int32_t q);
// Applies a boundary move of the marker at markerEntry. q, fadeHandle and silenceHandle are
// source positions as the view shows them. Returns the moved marker's new index, or -1 (after
// the warning) when the move crosses a neighbour.
int MoveBoundary(TrackContext& ctx, int markerEntry, int32_t q, int32_t fadeHandle,
                 int32_t silenceHandle);

// "???" for untitled tracks, the file's name for empty albums, and the one-track rules.
void FillDefaultNames(TrackList& tracks, const std::string& inputName);
// The input name without its folder and its last four characters.
std::string defaultName(const std::string& inputName);

// ---- What the views show -------------------------------------------------------------------

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

// ---- Settings ------------------------------------------------------------------------------

// Reads "Gapless" and "Fade Linear" into the list's flags.
void LoadTrackSettings(TrackList& tracks, const Profile& profile);
// Fade Type menu: 1 linear, 0 logarithmic; stored as "Fade Linear".
void SetFadeLinear(TrackContext& ctx, bool linear);

// Default timings as the user typed them (seconds).
struct DefaultTimings {
    std::string preSilence = "0";
    std::string fadeIn = "0";
    std::string fadeOut = "0";
    std::string postSilence = "0";
};
DefaultTimings LoadDefaultTimings(const Profile& profile);
void StoreDefaultTimings(Profile& profile, const DefaultTimings& timings);
// "Use Defaults": the four timings into a track.
void ApplyDefaultTimings(Track& track, const DefaultTimings& timings, int sampleRate);
// Seconds typed by the user to bytes (seconds x rate x 4, truncated); junk, negative or
// out-of-range input gives 0 or the largest length.
int32_t secondsToBytes(const std::string& seconds, int sampleRate);
// Bytes as seconds, "%3.1f".
std::string bytesToSeconds(int32_t bytes, int sampleRate);
// Track length as "%2d:%02d".
std::string lengthText(int64_t bytes, int sampleRate);

} // namespace tarnival
