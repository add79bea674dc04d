#pragma once
#include "tracks/Splice.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnival {

// Cross-fade lengths offered for a cut, by menu index.
constexpr std::array<int32_t, 3> kCrossFadeBytes{880, 4400, 17600};
constexpr std::array<const char*, 3> kCrossFadeLabels{"Short (5mS)", "Medium (25ms)",
                                                      "Long (100ms)"};

// Bytes one splice takes out of the recording.
inline int64_t spliceRemoval(const Splice& s) {
    return int64_t{s.cutEnd} + s.crossFade - s.cutStart;
}
// Source position where the recording resumes after the splice.
inline int64_t spliceResume(const Splice& s) {
    return int64_t{s.cutEnd} + s.crossFade;
}

// The cut sections of the recording, ordered by cut start, and the maps between source
// positions (file offsets) and display positions (cuts removed).
//
// Code that edits `splices` directly (a session restore) calls recomputeShifts() afterwards.
class SpliceList {
  public:
    std::vector<Splice> splices;
    int crossFadeIndex = 0; // index into kCrossFadeBytes

    int count() const { return static_cast<int>(splices.size()); }
    bool empty() const { return splices.empty(); }
    int32_t displayToSource(int32_t p) const;
    int32_t sourceToDisplay(int32_t s) const;

    // Index of the first splice whose cut start lies after s, or -1.
    int spliceAfter(int32_t s) const;
    // True when s lies in a cut section, ends included.
    bool isInCut(int32_t s) const;
    // The splice whose removed stretch [cut start, resume) holds s, or -1.
    int cutHolding(int32_t s) const;
    // The cross-fade length chosen in the menu.
    int32_t crossFadeSetting() const;

    // Inserts in cut-start order (before splices with an equal or later cut start) and
    // recomputes the shifts; returns the new index.
    int insert(Splice splice);
    // Removes one splice and recomputes the shifts; an index out of range is ignored.
    void erase(int index);
    void clear();
    // Every shift from its splice's removal and the shift before it.
    void recomputeShifts();

  private:
    // The stretch of source positions [lo, hi) that sourceToDisplay last answered, with the
    // splices on either side as they were, so that edits behind the list's back are noticed.
    struct Cache {
        bool valid = false;
        int64_t lo = 0, hi = 0;
        int32_t shift = 0;
        int index = 0; // first splice whose cut start lies after the stretch
        size_t size = 0;
        Splice before, after;
    };
    mutable Cache cache_;
    bool cacheHolds(int32_t s) const;
};

} // namespace tarnival
