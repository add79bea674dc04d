#pragma once
// Editing the track list: splits, merges, boundary moves, gapless and the default names.
#include "tracks/TrackContext.h"
#include "tracks/TrackMarkers.h"
#include "tracks/TrackMenu.h"
#include "tracks/TrackTimings.h"

#include <map>
#include <string>

namespace tarnival {

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

} // namespace tarnival
