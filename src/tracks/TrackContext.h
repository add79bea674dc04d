#pragma once
#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "document/Settings.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "tracks/SpliceList.h"
#include "tracks/TrackList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarnival {

// What the track, detection and cut operations work on: the document's lists, its files and
// layout, and the seams to the user and the views. The document builds one per call (or keeps
// one); the optional members may stay null.
struct TrackContext {
    TrackList& tracks;
    SpliceList& splices;
    CorrectionList& corrections;
    WaveStore& store; // layout always; the files only for cross-fades
    UserInterface& ui;
    Profile& profile;
    DocumentObserver* observer = nullptr;
    bool* modified = nullptr;             // set when an operation changes the document
    std::vector<int32_t>* cues = nullptr; // the view's cue positions, rebuilt after cuts
    std::string inputName{};              // the file the user opened (any folder is ignored)
    const std::vector<int32_t>* chunkLevels = nullptr; // one level per 4096-byte chunk

    const WaveLayout& layout() const { return store.layout; }
    void markModified() const {
        if (modified) *modified = true;
    }
    DocumentObserver& views() const {
        static DocumentObserver silent;
        return observer ? *observer : silent;
    }
};

// Bytes of one compact-disc sector: track boundaries sit on this grid.
constexpr int32_t kTrackSector = kSectorSize;
// Boundaries are kept this far from each other when splitting (1 s at 44.1 kHz).
constexpr int32_t kMinSplitDistance = 176400;
// A block merge leaving less than this of its tracks takes in a neighbour (2 s at 44.1 kHz).
constexpr int32_t kMinMergeRemainder = 352800;

// Floor division that also rounds negative values down.
inline int64_t floorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}
// Data alignment (0 or 2) plus whole sectors: where a boundary may sit.
inline int32_t sectorFloor(const WaveLayout& layout, int64_t position) {
    return static_cast<int32_t>(layout.frameRemainder +
                                floorDiv(position, kTrackSector) * kTrackSector);
}
// The first place a track may start: two sectors into the data.
inline int32_t earliestTrackPosition(const WaveLayout& layout) {
    return layout.frameRemainder + (layout.dataStart / kTrackSector + 2) * kTrackSector;
}

} // namespace tarnival
