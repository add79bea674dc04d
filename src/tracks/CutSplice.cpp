#include "tracks/CutSplice.h"

#include "tracks/TrackEditing.h"

#include <algorithm>

namespace tarnival {

namespace {

using magnitude_codes::kHideOffset;

// Entries at or above this magnitude are hidden by a cut; hidden ones sit below -9000.
constexpr int32_t kHideFrom = -7;
constexpr int32_t kHiddenBelow = -9000;

Correction spliceMarker(const Splice& s, int index) {
    return Correction{1, s.cutEnd, s.cutEnd + s.crossFade / 8 * 4, index * 4,
                      magnitude_codes::kSplice};
}

// The longest cross-fade that still reads inside the data on both sides, whole frames.
int32_t fitCrossFade(int32_t wanted, int64_t cutStart, int64_t cutEnd, const WaveLayout& layout) {
    int64_t h = std::min<int64_t>(
        wanted, std::min(cutStart - layout.dataStart - 8, int64_t{layout.dataEnd} - cutEnd - 8));
    return static_cast<int32_t>(std::max<int64_t>(h, 0) / 4 * 4);
}

bool absorbs(int64_t cutStart, int64_t cutEnd, int64_t h, const Splice& old) {
    int64_t reach = cutEnd + h;
    int64_t r = spliceResume(old);
    return (reach >= int64_t{old.cutStart} - old.crossFade && r >= reach) ||
           (r >= cutStart - h && reach >= r);
}

// h bytes before the cut blended into h bytes at the cut end, read through `read`.
template <class Read>
void fadeInto(uint8_t* out, int32_t h, int32_t cutStart, int32_t cutEnd, Read read) {
    int count = h / 2;
    std::vector<uint8_t> rawA(static_cast<size_t>(h)), rawB(static_cast<size_t>(h));
    read(int64_t{cutStart} - h, rawA.data(), rawA.size());
    read(cutEnd, rawB.data(), rawB.size());
    std::vector<int16_t> a(static_cast<size_t>(count)), b(static_cast<size_t>(count));
    for (size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<int16_t>(rawA[2 * i] | (rawA[2 * i + 1] << 8));
        b[i] = static_cast<int16_t>(rawB[2 * i] | (rawB[2 * i + 1] << 8));
    }
    crossFadeSamples(a.data(), b.data(), count);
    for (size_t i = 0; i < a.size(); ++i) {
        auto v = static_cast<uint16_t>(a[i]);
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
}

} // namespace

void crossFadeSamples(int16_t* a, const int16_t* b, int count) {
    for (int i = 0; i < count; ++i) {
        int32_t fadeOut = int32_t{a[i]} * (count - i) / count;
        int32_t fadeIn = i * int32_t{b[i]} / count;
        a[i] = static_cast<int16_t>(fadeOut + fadeIn);
    }
}

void HideEntriesInCuts(TrackContext& ctx) {
    CorrectionList& list = ctx.corrections;
    for (const Splice& s : ctx.splices.splices)
        for (int i = 1; i <= list.count() - 2; ++i) {
            Correction& c = list[i];
            if (c.position >= s.cutStart && c.position <= s.cutEnd && c.magnitude >= kHideFrom &&
                !isSpliceMarker(c))
                c.magnitude -= kHideOffset;
        }
}

void RenumberSpliceMarkers(CorrectionList& list) {
    int k = 0;
    for (int i = 1; i <= list.count() - 2; ++i)
        if (isSpliceMarker(list[i])) list[i].width = 4 * k++;
}

void InsertSpliceMarkers(TrackContext& ctx) {
    CorrectionList& list = ctx.corrections;
    auto& v = list.entries();
    v.erase(std::remove_if(v.begin(), v.end(),
                           [&](const Correction& c) {
                               if (!isSpliceMarker(c)) return false;
                               list.lowerBlockCounter(c.position);
                               return true;
                           }),
            v.end());
    for (int k = 0; k < ctx.splices.count(); ++k) {
        Correction m = spliceMarker(ctx.splices.splices[static_cast<size_t>(k)], k);
        list.insertOrdered(m);
        list.raiseBlockCounter(m.position);
    }
    RenumberSpliceMarkers(list);
    ctx.views().listRefilled();
}

void RemoveSplice(TrackContext& ctx, int index) {
    SpliceList& splices = ctx.splices;
    if (index < 0 || index >= splices.count()) return;
    const Splice& s = splices.splices[static_cast<size_t>(index)];
    // The splice's own marker goes with it, or the numbering would point at the wrong cuts.
    CorrectionList& list = ctx.corrections;
    int marker = 0;
    for (int i = 1; i <= list.count() - 2 && marker == 0; ++i)
        if (isSpliceMarker(list[i]) && list[i].width == index * 4) marker = i;
    for (int i = 1; i <= list.count() - 2 && marker == 0; ++i)
        if (isSpliceMarker(list[i]) && list[i].tag == s.cutEnd) marker = i;
    if (marker > 0) {
        list.lowerBlockCounter(list[marker].position);
        list.removeAt(marker);
        ctx.views().entryRemoved(marker);
    }
    splices.erase(index);
    RenumberSpliceMarkers(list);
}

void RefreshTracks(TrackContext& ctx) {
    const WaveLayout& layout = ctx.layout();
    const SpliceList& splices = ctx.splices;
    CorrectionList& list = ctx.corrections;
    TrackList& tracks = ctx.tracks;
    if (ctx.cues) {
        ctx.cues->clear();
        for (int i = 1; i <= list.count() - 2; ++i)
            if (list[i].magnitude == magnitude_codes::kCue) ctx.cues->push_back(list[i].position);
    }
    tracks[0].start = splices.sourceToDisplay(layout.dataStart);
    tracks[0].end = splices.sourceToDisplay(layout.dataEnd);
    int32_t earliest = earliestTrackPosition(layout);
    for (int i = 1; i <= list.count() - 2; ++i) {
        const Correction& c = list[i];
        if (!isTrackMarker(c)) continue;
        int t = markerTrack(c);
        if (t < 1 || t > tracks.trackCount()) continue;
        // A boundary whose audio was cut away moves to where the recording resumes, rather
        // than to a display position before the cut.
        int64_t at = c.position;
        int inCut = splices.cutHolding(c.position);
        if (inCut >= 0) at = spliceResume(splices.splices[static_cast<size_t>(inCut)]);
        int32_t v = std::max(sectorFloor(layout, splices.sourceToDisplay(static_cast<int32_t>(at))),
                             earliest);
        if (isStartMarker(c))
            tracks[t].start = v;
        else
            tracks[t].end = v;
    }
    RebuildTrackMarkers(ctx);
    UpdateTrackStatus(ctx);
    ctx.views().redraw();
}

int CutAndSplice(TrackContext& ctx, int32_t blockStart, int32_t blockEnd) {
    const WaveLayout& layout = ctx.layout();
    if (blockEnd <= blockStart) {
        ctx.ui.beep();
        return -1;
    }
    // Whole frames, so that the audio after the cut keeps its channel order. Checked before
    // the merge, which cannot be undone: a block with nothing to cut must leave the tracks be.
    int32_t cutStart = layout.toFrame(std::max(blockStart, layout.dataStart + 100));
    int32_t cutEnd = layout.toFrame(std::min(blockEnd, layout.dataEnd - 100));
    if (cutEnd <= cutStart) {
        ctx.ui.beep();
        return -1;
    }
    if (!MergeTracksInBlock(ctx, blockStart, blockEnd, true)) return -1;
    SpliceList& splices = ctx.splices;
    const int32_t wanted = splices.crossFadeSetting();
    int32_t h = fitCrossFade(wanted, cutStart, cutEnd, layout);

    // Cuts that meet this one are taken into it; absorbing one may reach the next.
    for (bool again = true; again;) {
        again = false;
        for (int k = 0; k < splices.count(); ++k) {
            const Splice& old = splices.splices[static_cast<size_t>(k)];
            if (!absorbs(cutStart, cutEnd, h, old)) continue;
            cutStart = std::min(cutStart, old.cutStart);
            cutEnd = std::max(cutEnd, old.cutEnd);
            RemoveSplice(ctx, k);
            h = fitCrossFade(wanted, cutStart, cutEnd, layout);
            again = true;
            break;
        }
    }

    Splice splice{cutStart, cutEnd, h, 0, std::vector<uint8_t>(2 * static_cast<size_t>(h))};
    const WaveStore& store = ctx.store;
    fadeInto(splice.fadeBytes.data(), h, cutStart, cutEnd,
             [&](int64_t pos, void* buf, size_t n) { store.readSource(pos, buf, n); });
    fadeInto(splice.fadeBytes.data() + h, h, cutStart, cutEnd,
             [&](int64_t pos, void* buf, size_t n) { store.readWorking(pos, buf, n); });
    int index = splices.insert(std::move(splice));
    const Splice& made = splices.splices[static_cast<size_t>(index)];

    CorrectionList& list = ctx.corrections;
    for (int i = 1; i <= list.count() - 2; ++i) {
        Correction& c = list[i];
        if (c.position >= cutStart && c.position <= cutEnd && c.magnitude >= kHideFrom)
            c.magnitude -= kHideOffset;
    }
    RefreshTracks(ctx);
    Correction marker = spliceMarker(made, index);
    int at = list.insertOrdered(marker);
    list.raiseBlockCounter(marker.position);
    RenumberSpliceMarkers(list);
    ctx.views().listRefilled();
    ctx.views().entrySelected(at);
    ctx.markModified();
    return at;
}

std::optional<std::pair<int32_t, int32_t>> RestoreCut(TrackContext& ctx, int spliceMarkerEntry) {
    CorrectionList& list = ctx.corrections;
    SpliceList& splices = ctx.splices;
    if (spliceMarkerEntry < 1 || spliceMarkerEntry > list.count() - 2 ||
        !isSpliceMarker(list[spliceMarkerEntry]) ||
        list[spliceMarkerEntry].width / 4 >= splices.count()) {
        ctx.ui.beep();
        return std::nullopt;
    }
    int index = list[spliceMarkerEntry].width / 4;
    const Splice& s = splices.splices[static_cast<size_t>(index)];
    int32_t from = s.cutStart - s.crossFade;
    int32_t to = s.cutEnd + s.crossFade;
    RemoveSplice(ctx, index);
    for (int i = 1; i <= list.count() - 2; ++i) {
        Correction& c = list[i];
        if (c.position >= from && c.position <= to && c.magnitude < kHiddenBelow)
            c.magnitude += kHideOffset;
    }
    RefreshTracks(ctx);
    ctx.views().listRefilled();
    ctx.markModified();
    return std::make_pair(from, to);
}

} // namespace tarnival
