#include "tracks/TrackEditing.h"

#include "document/Format.h"
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>

namespace tarnival {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A front end without an OK/Cancel box may answer an OK/Cancel question with Yes.
bool accepted(Answer a) {
    return a == Answer::Ok || a == Answer::Yes;
}

bool validMarkerEntry(const TrackContext& ctx, int entry) {
    const CorrectionList& list = ctx.corrections;
    if (entry < 1 || entry > list.count() - 2 || !isTrackMarker(list[entry])) return false;
    int t = markerTrack(list[entry]);
    return t >= 1 && t <= ctx.tracks.trackCount();
}

} // namespace

void ResetTrackList(TrackContext& ctx, const std::map<std::string, std::string>* apeTags) {
    TrackList& tracks = ctx.tracks;
    tracks.tracks.assign(1, Track{});
    tracks.playTrack = 0;
    tracks.trackNumberText.clear();
    Track& whole = tracks[0];
    whole.start = ctx.splices.sourceToDisplay(ctx.layout().dataStart);
    whole.end = ctx.splices.sourceToDisplay(ctx.layout().dataEnd);
    if (apeTags) {
        // Item keys of an APE tag are case-insensitive.
        for (const auto& [key, value] : *apeTags) {
            std::string k = lower(key);
            if (k == "album")
                whole.album = value;
            else if (k == "artist")
                whole.artist = value;
            else if (k == "title")
                whole.title = value;
            else if (k == "genre")
                whole.genre = value;
            else if (k == "track")
                tracks.trackNumberText = value;
        }
    }
    UpdateTrackStatus(ctx);
}

void ResetToSingleTrack(TrackContext& ctx, const std::map<std::string, std::string>* apeTags) {
    ResetTrackList(ctx, apeTags);
    Track track = ctx.tracks[0];
    track.start = std::min(earliestTrackPosition(ctx.layout()), track.end);
    ctx.tracks.tracks.push_back(track);
    UpdateTrackStatus(ctx);
}

bool MergeTracks(TrackContext& ctx, int first, int last) {
    TrackList& tracks = ctx.tracks;
    if (first < 1 || last <= first || last > tracks.trackCount()) return false;
    Track& keep = tracks[first];
    keep.end = tracks[last].end;
    keep.fadeOut = tracks[last].fadeOut;
    keep.postSilence = tracks[last].postSilence;
    tracks.tracks.erase(tracks.tracks.begin() + first + 1, tracks.tracks.begin() + last + 1);
    // The chosen track follows its audio: merged tracks become first, later ones move down.
    if (tracks.playTrack > first && tracks.playTrack <= last)
        tracks.playTrack = first;
    else if (tracks.playTrack > last)
        tracks.playTrack -= last - first;
    RebuildTrackMarkers(ctx);
    UpdateTrackStatus(ctx);
    ctx.markModified();
    return true;
}

int SplitTrack(TrackContext& ctx, int32_t position) {
    TrackList& tracks = ctx.tracks;
    if (tracks.trackCount() == 0) {
        ctx.ui.beep();
        return -1;
    }
    int32_t p = sectorFloor(ctx.layout(), ctx.splices.sourceToDisplay(position));
    int d = tracks.holding(p);
    const Track& old = tracks[d];
    if (int64_t{p} - old.start < kMinSplitDistance || int64_t{old.end} - p < kMinSplitDistance) {
        ctx.ui.message("The Split Point is too close to the start or end of an existing track.");
        return -1;
    }
    Track head = old;
    head.end = p;
    head.fadeOut = 0;
    head.postSilence = 0;
    Track& tail = tracks[d];
    tail.start = p;
    tail.title.clear();
    tail.fadeIn = 0;
    tail.preSilence = 0;
    tracks.tracks.insert(tracks.tracks.begin() + d, head);
    if (tracks.playTrack > d) ++tracks.playTrack;

    FillDefaultNames(tracks, ctx.inputName);
    UpdateTrackStatus(ctx);

    CorrectionList& list = ctx.corrections;
    for (int i = 1; i <= list.count() - 2; ++i)
        if (isTrackMarker(list[i]) && list[i].width <= -2 * d - 1) list[i].width -= 2;
    int32_t at = ctx.splices.displayToSource(p);
    insertMarker(list, trackMarker(d, false, at));
    // The start marker goes in front of the end marker at the same place.
    int startIndex = list.insertOrdered(trackMarker(d + 1, true, at));
    list.raiseBlockCounter(at);
    int endIndex = startIndex + 1;
    ctx.views().listRefilled();
    ctx.views().entrySelected(endIndex);
    ctx.views().redraw();
    ctx.markModified();
    return endIndex;
}

bool MergeAtMarker(TrackContext& ctx, int markerEntry) {
    if (!validMarkerEntry(ctx, markerEntry)) {
        ctx.ui.beep();
        return false;
    }
    int b = trackAfterMarker(ctx.corrections[markerEntry]);
    if (b < 2 || b > ctx.tracks.trackCount()) { // no boundary between two tracks here
        ctx.ui.beep();
        return false;
    }
    Answer a = ctx.ui.ask(
        formatText("Track %d will be permanently\nmerged with Track %d.\nReally Merge?", b, b - 1),
        "Merge Tracks", Buttons::OkCancel);
    if (!accepted(a)) return false;
    MergeTracks(ctx, b - 1, b);
    ctx.views().redraw();
    return true;
}

bool MergeTracksInBlock(TrackContext& ctx, int32_t blockStart, int32_t blockEnd, bool forCut) {
    const char* caption =
        forCut ? "Merge Tracks Before Executing Cut/Splice" : "Merge Tracks in Block";
    TrackList& tracks = ctx.tracks;
    int n = tracks.trackCount();
    if (n == 0) {
        if (!forCut) ctx.ui.message("No Tracks to Merge", caption);
        return forCut;
    }
    // The block is held in source positions, the tracks in display positions.
    int64_t a = ctx.splices.sourceToDisplay(std::min(blockStart, blockEnd));
    int64_t c = ctx.splices.sourceToDisplay(std::max(blockStart, blockEnd));
    int d = tracks.holding(static_cast<int32_t>(a));
    if (tracks[d].end < a) ++d;
    d = std::min(d, n);
    int f = tracks.holding(static_cast<int32_t>(c));
    if ((tracks[f].end - c) + (a - tracks[d].start) < kMinMergeRemainder) {
        if (d < 2) ++f;
        if (f > n) {
            ctx.ui.message("The Block is too long to complete the operation", caption);
            return false;
        }
        if (d > 1) --d;
    }
    if (d < f) {
        const char* text = f == d + 1 ? "Tracks %d and %d will be permanently merged.\nContinue?"
                                      : "Tracks %d to %d will be permanently merged.\nContinue?";
        if (!accepted(ctx.ui.ask(formatText(text, d, f), caption, Buttons::OkCancel))) return false;
        MergeTracks(ctx, d, f);
        ctx.views().redraw();
        return true;
    }
    if (!forCut) ctx.ui.message("No Tracks to Merge", caption);
    return forCut;
}

int CueMarkersToTracks(TrackContext& ctx, int* lastSelected) {
    // Splits insert markers and shift indices, so the cue positions are taken first.
    std::vector<int32_t> cues;
    const CorrectionList& list = ctx.corrections;
    for (int i = 0; i < list.count() - 1; ++i)
        if (list[i].magnitude == magnitude_codes::kCue && list[i].width >= 0)
            cues.push_back(list[i].position);
    int made = 0;
    for (int32_t position : cues) {
        int selected = SplitTrack(ctx, position);
        if (selected < 0) continue;
        ++made;
        if (lastSelected) *lastSelected = selected;
    }
    return made;
}

int ToggleGapless(TrackContext& ctx, int selectedEntry) {
    TrackList& tracks = ctx.tracks;
    if (!tracks.gapless) {
        Answer a = ctx.ui.ask("Gapless option will re-align all track boundaries.\nIt will also "
                              "cause end of track fade and silence settings to be ignored.\n"
                              "Really remove gaps?",
                              "Tarnival", Buttons::YesNo);
        if (a != Answer::Yes) return selectedEntry;
    }
    tracks.gapless = !tracks.gapless;
    if (tracks.gapless) {
        for (int i = 2; i <= tracks.trackCount(); ++i) {
            int32_t boundary = realignedGaplessBoundary(tracks[i - 1].end, tracks[i].start);
            tracks[i - 1].end = boundary;
            tracks[i].start = boundary;
        }
    }
    int selected = RebuildTrackMarkers(ctx, selectedEntry);
    UpdateTrackStatus(ctx);
    if (selected > 0) ctx.views().entrySelected(selected);
    ctx.views().redraw();
    ctx.markModified();
    return selected;
}

int32_t realignedGaplessBoundary(int32_t previousEnd, int32_t start) {
    return static_cast<int32_t>(
        int64_t{start} - floorDiv(int64_t{start} - previousEnd, 2 * kTrackSector) * kTrackSector);
}

bool BoundaryMoveAllowed(const TrackList& tracks, int track, bool isStart, int32_t q) {
    int n = tracks.trackCount();
    if (track < 1 || track > n) return false;
    int64_t low, high;
    if (isStart) {
        low = track == 1 ? int64_t{tracks[0].start} - 1 : tracks[track - 1].start;
        high = tracks[track].end;
    } else {
        low = tracks[track].start;
        high = track == n ? int64_t{tracks[0].end} + 1 : tracks[track + 1].end;
    }
    return low < q && q < high;
}

int MoveBoundary(TrackContext& ctx, int markerEntry, int32_t q, int32_t fadeHandle,
                 int32_t silenceHandle) {
    if (!validMarkerEntry(ctx, markerEntry)) {
        ctx.ui.beep();
        return -1;
    }
    const Correction marker = ctx.corrections[markerEntry];
    int i = markerTrack(marker);
    bool isStart = isStartMarker(marker);
    const SpliceList& splices = ctx.splices;
    int32_t qd = splices.sourceToDisplay(q);
    if (!BoundaryMoveAllowed(ctx.tracks, i, isStart, qd)) {
        ctx.ui.message("Track Boundary Move Failed.\nTrack has moved into adjacent track space");
        return -1;
    }
    int64_t fade = splices.sourceToDisplay(fadeHandle);
    int64_t silence = splices.sourceToDisplay(silenceHandle);
    // A handle dragged to the wrong side of the boundary means no fade or silence.
    auto length = [](int64_t v) {
        return static_cast<int32_t>(std::clamp<int64_t>(v, 0, std::numeric_limits<int32_t>::max()));
    };
    TrackList& tracks = ctx.tracks;
    Track& t = tracks[i];
    if (isStart) {
        t.start = qd;
        t.fadeIn = length(fade - qd);
        t.preSilence = length(qd - silence);
        if (i > 1) {
            Track& prev = tracks[i - 1];
            prev.end = tracks.gapless ? qd : std::min(prev.end, qd);
        }
    } else {
        t.end = qd;
        t.fadeOut = length(qd - fade);
        t.postSilence = length(silence - qd);
        if (i < tracks.trackCount()) {
            Track& next = tracks[i + 1];
            next.start = tracks.gapless ? qd : std::max(next.start, qd);
        }
    }
    RebuildTrackMarkers(ctx);
    int moved = findMarker(ctx.corrections, marker.width);
    UpdateTrackStatus(ctx);
    if (moved > 0) ctx.views().entrySelected(moved);
    ctx.views().redraw();
    ctx.markModified();
    return moved;
}

std::string defaultName(const std::string& inputName) {
    std::string name = std::filesystem::path(inputName).filename().string();
    return name.size() > 4 ? name.substr(0, name.size() - 4) : std::string();
}

void FillDefaultNames(TrackList& tracks, const std::string& inputName) {
    const std::string name = defaultName(inputName);
    int n = tracks.trackCount();
    auto placeholder = [&](const std::string& title) {
        return title.empty() || title == name || title.rfind("Track", 0) == 0;
    };
    if (tracks.count() == 0) return;
    Track& whole = tracks[0];
    if (n > 1) {
        for (int i = 0; i <= n; ++i)
            if (tracks[i].album.empty()) tracks[i].album = name;
        for (int i = 1; i <= n; ++i)
            if (placeholder(tracks[i].title)) tracks[i].title = "???";
        return;
    }
    if (whole.title.empty()) whole.title = name;
    if (n == 1) {
        Track& only = tracks[1];
        if (placeholder(only.title)) only.title = whole.title;
        if (only.artist.empty()) only.artist = whole.artist;
    }
}

} // namespace tarnival
