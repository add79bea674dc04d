#pragma once
// The tracks of a recording: the track list and its editing, boundary detection from the
// chunk levels, and cut-and-splice. Everything takes a TrackContext (the document's track
// list, splice list, correction list, wave store, user interface and profile, plus optional
// views, modified flag and cue list).
//
// Entry points for the document and the load driver:
//   load:        ResetToSingleTrack (or ResetTrackList before a session is read), then after
//                the scan RebuildTrackMarkers + InsertSpliceMarkers, and with "Split Tracks"
//                on, DetectTracks(levels, 0) (or set TrackContext::chunkLevels and call
//                DetectTracks(ctx)).
//   track menu:  SplitTrack(position marker), MergeAtMarker(selected entry),
//                MergeTracksInBlock(block), CueMarkersToTracks, ToggleGapless(selection),
//                SetFadeLinear, MoveBoundary (boundary tool "Apply"), BuildTrackMenu,
//                trackStatusText, FillDefaultNames (before saving), default timings.
//   re-scan:     RescanTracks(levels, {AutoDetect | UserAssisted + count | RemoveAll, gapless}).
//   cuts:        CutAndSplice(block), RestoreCut(splice marker entry), with the maps
//                SpliceList::displayToSource / sourceToDisplay and the cross-fade setting
//                SpliceList::crossFadeIndex.
// Operations that select an entry return its index; the caller makes it current.
#include "tracks/CutSplice.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackContext.h"
#include "tracks/TrackDetection.h"
#include "tracks/TrackEditing.h"
#include "tracks/TrackList.h"
