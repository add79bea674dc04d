#include "tracks/TrackDetection.h"

#include "tracks/TrackEditing.h"

#include <algorithm>
#include <cmath>

namespace tarnival {

using namespace detection;

namespace {

Track templateTrack(const Track& whole) {
    Track t;
    t.title = whole.title;
    t.artist = whole.artist;
    t.album = whole.album;
    t.genre = whole.genre;
    return t;
}

// Level / 1024 of the chunk holding a source position; chunks the array does not cover are
// silent.
int blockLevel(const std::vector<int32_t>& levels, const WaveLayout& layout, int64_t source) {
    int64_t chunk = floorDiv(source - layout.dataStart % kChunkSize, kChunkSize);
    if (chunk < 0 || chunk >= static_cast<int64_t>(levels.size())) return 0;
    return levels[static_cast<size_t>(chunk)] / 1024;
}

} // namespace

int32_t detectedGaplessBoundary(int32_t end, int32_t nextStart) {
    return static_cast<int32_t>(
        int64_t{end} + floorDiv(int64_t{nextStart} - end, 2 * kTrackSector) * kTrackSector);
}

int detectionThreshold(int sensitivity) {
    return static_cast<int>(20.0 * std::pow(2.0, sensitivity / 20.0));
}

int DetectionPass(TrackContext& ctx, const std::vector<int32_t>& levels, int sensitivity) {
    const WaveLayout& layout = ctx.layout();
    const SpliceList& splices = ctx.splices;
    TrackVector& tracks = ctx.tracks.tracks;
    tracks.resize(1);
    const Track blank = templateTrack(tracks[0]);
    const int64_t wholeEnd = tracks[0].end;
    const int64_t length = wholeEnd - tracks[0].start;
    const int64_t align = layout.frameRemainder;
    const int64_t earliest = earliestTrackPosition(layout);
    const int threshold = detectionThreshold(sensitivity);

    // A recording shorter than the earliest track position still gets a track, empty rather
    // than ending before it starts.
    auto startAt = [&](int64_t s) {
        return static_cast<int32_t>(std::min(std::max(s - kStartLead + align, earliest), wholeEnd));
    };
    bool inTrack = false;
    int level = 0; // F: the smoothed level
    size_t current = 0;
    for (int64_t p = kBlock; p < length; p += kBlock) {
        int g = blockLevel(levels, layout, splices.displayToSource(static_cast<int32_t>(p)));
        int64_t s = p / kTrackSector * kTrackSector;
        if (!inTrack) {
            // Rises by at most 10 per block, falls at once.
            level = std::min(g, level + 10);
            if (level > threshold) {
                int32_t candidate = startAt(s);
                if (current > 0 && int64_t{tracks[current].end} + kMinGap >= candidate) {
                    tracks[current].end = 0; // reopened
                } else {
                    Track t = blank;
                    t.start = candidate;
                    tracks.push_back(t);
                    current = tracks.size() - 1;
                }
                inTrack = true;
            }
        } else {
            // Falls by at most a tenth per block, rises at once.
            level = std::max(g, level * 9 / 10);
        }
        if (inTrack && level < threshold / 2) {
            Track& t = tracks[current];
            if (p <= int64_t{t.start} + kMinSound) {
                t.start = startAt(s);
            } else {
                // Never past the recording, or the writer would read beyond the audio.
                t.end = static_cast<int32_t>(std::min(s + kEndTail + align, wholeEnd));
                inTrack = false;
            }
        }
    }
    if (tracks.size() == 1) {
        Track t = blank;
        t.start = static_cast<int32_t>(std::min(earliest, wholeEnd));
        tracks.push_back(t); // left open: settled below like any open last track
    }
    if (tracks.back().end == 0) {
        if (length > kMinSound || tracks.size() == 2)
            tracks.back().end = tracks[0].end;
        else
            tracks.pop_back();
    }
    if (tracks.size() > 2) {
        for (size_t i = 2; i < tracks.size();) {
            if (int64_t{tracks[i].end} - tracks[i].start < kMinTrack) {
                tracks[i - 1].end = tracks[i].end;
                tracks.erase(tracks.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
    }
    return static_cast<int>(tracks.size()) - 1;
}

int DetectTracks(TrackContext& ctx, const std::vector<int32_t>& levels, int targetCount) {
    TrackList& list = ctx.tracks;
    int target = std::max(targetCount, 0);
    const int step = target > 0 ? 2 : 10;
    int p = target > 0 ? 2 : 10;
    int previous = -1;
    int found = 0;
    int lastP = p;
    for (;;) {
        found = DetectionPass(ctx, levels, p);
        lastP = p;
        if (target > 0) {
            if (found >= target || p + step > kMaxSensitivity) break;
            p += step;
            continue;
        }
        if (found > 1 && found == previous) {
            lastP = p - step;
            found = DetectionPass(ctx, levels, lastP);
            break;
        }
        if (p == kMaxSensitivity) {
            lastP = 0;
            found = DetectionPass(ctx, levels, 0);
            break;
        }
        previous = found;
        p += step;
    }
    list.playTrack = 0;
    if (lastP == 0) ctx.ui.message("No tracks were found");
    if (target > 0 && found != target)
        ctx.ui.message("The target number of tracks could not be found");

    if (list.gapless && found >= 2) {
        for (int i = 1; i < found; ++i) {
            int32_t boundary = detectedGaplessBoundary(list[i].end, list[i + 1].start);
            list[i].end = boundary;
            list[i + 1].start = boundary;
        }
    }
    FillDefaultNames(list, ctx.inputName);
    RebuildTrackMarkers(ctx);
    UpdateTrackStatus(ctx);
    return found;
}

int DetectTracks(TrackContext& ctx, int targetCount) {
    static const std::vector<int32_t> none;
    return DetectTracks(ctx, ctx.chunkLevels ? *ctx.chunkLevels : none, targetCount);
}

void RemoveAllTracks(TrackContext& ctx) {
    TrackList& list = ctx.tracks;
    if (list.trackCount() <= 1) return;
    RemoveTrackMarkers(ctx.corrections);
    list.tracks.resize(1);
    Track only = list[0];
    only.start = std::min(earliestTrackPosition(ctx.layout()), only.end);
    list.tracks.push_back(only);
    list.playTrack = 0;
    FillDefaultNames(list, ctx.inputName);
    RebuildTrackMarkers(ctx);
    UpdateTrackStatus(ctx);
}

void RescanTracks(TrackContext& ctx, const std::vector<int32_t>& levels,
                  const RescanChoice& choice) {
    ctx.tracks.gapless = choice.gapless;
    set(ctx.profile, settings::kGapless, choice.gapless ? 1 : 0);
    switch (choice.mode) {
    case RescanMode::AutoDetect:
        DetectTracks(ctx, levels, 0);
        break;
    case RescanMode::UserAssisted:
        DetectTracks(ctx, levels, std::clamp(choice.targetCount, kMinTarget, kMaxTarget));
        break;
    case RescanMode::RemoveAll:
        RemoveAllTracks(ctx);
        break;
    }
    ctx.tracks.rescanned = true;
    ctx.views().redraw();
    ctx.markModified();
}

void RescanTracks(TrackContext& ctx, const RescanChoice& choice) {
    static const std::vector<int32_t> none;
    RescanTracks(ctx, ctx.chunkLevels ? *ctx.chunkLevels : none, choice);
}

} // namespace tarnival
