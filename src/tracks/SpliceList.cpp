#include "tracks/SpliceList.h"

#include <algorithm>
#include <limits>

namespace tarnival {

namespace {
int32_t clamp32(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}
bool sameFields(const Splice& a, const Splice& b) {
    return a.cutStart == b.cutStart && a.cutEnd == b.cutEnd && a.crossFade == b.crossFade &&
           a.shift == b.shift;
}
} // namespace

int32_t SpliceList::displayToSource(int32_t p) const {
    int32_t shift = 0;
    for (const Splice& s : splices) {
        if (spliceResume(s) - s.shift > p) break;
        shift = s.shift;
    }
    return clamp32(int64_t{p} + shift);
}

bool SpliceList::cacheHolds(int32_t s) const {
    if (!cache_.valid || cache_.size != splices.size() || s < cache_.lo || s >= cache_.hi)
        return false;
    size_t i = static_cast<size_t>(cache_.index);
    if (i > 0 && !sameFields(splices[i - 1], cache_.before)) return false;
    if (i < splices.size() && !sameFields(splices[i], cache_.after)) return false;
    return true;
}

int32_t SpliceList::sourceToDisplay(int32_t s) const {
    if (cacheHolds(s)) return clamp32(int64_t{s} - cache_.shift);
    size_t i = 0;
    while (i < splices.size() && splices[i].cutStart <= s) ++i;
    Cache c;
    c.valid = true;
    c.index = static_cast<int>(i);
    c.size = splices.size();
    c.shift = i > 0 ? splices[i - 1].shift : 0;
    // The same shift holds from the previous cut's end up to the next cross-fade (guarded
    // against malformed records so that a cached answer never differs from a fresh one).
    c.lo = i > 0 ? int64_t{std::max(splices[i - 1].cutStart, splices[i - 1].cutEnd)}
                 : std::numeric_limits<int64_t>::min();
    c.hi = i < splices.size() ? std::min(int64_t{splices[i].cutStart} - splices[i].crossFade,
                                         int64_t{splices[i].cutStart})
                              : std::numeric_limits<int64_t>::max();
    if (i > 0)
        c.before = Splice{splices[i - 1].cutStart,
                          splices[i - 1].cutEnd,
                          splices[i - 1].crossFade,
                          splices[i - 1].shift,
                          {}};
    if (i < splices.size())
        c.after = Splice{
            splices[i].cutStart, splices[i].cutEnd, splices[i].crossFade, splices[i].shift, {}};
    cache_ = std::move(c);
    return clamp32(int64_t{s} - cache_.shift);
}

int SpliceList::spliceAfter(int32_t s) const {
    for (int i = 0; i < count(); ++i)
        if (splices[static_cast<size_t>(i)].cutStart > s) return i;
    return -1;
}

bool SpliceList::isInCut(int32_t s) const {
    return std::any_of(splices.begin(), splices.end(),
                       [s](const Splice& sp) { return sp.cutStart <= s && s <= sp.cutEnd; });
}

int SpliceList::cutHolding(int32_t s) const {
    for (int i = 0; i < count(); ++i) {
        const Splice& sp = splices[static_cast<size_t>(i)];
        if (sp.cutStart <= s && s < spliceResume(sp)) return i;
    }
    return -1;
}

int32_t SpliceList::crossFadeSetting() const {
    int i = std::clamp(crossFadeIndex, 0, static_cast<int>(kCrossFadeBytes.size()) - 1);
    return kCrossFadeBytes[static_cast<size_t>(i)];
}

int SpliceList::insert(Splice splice) {
    auto at = std::find_if(splices.begin(), splices.end(),
                           [&](const Splice& s) { return s.cutStart >= splice.cutStart; });
    int index = static_cast<int>(at - splices.begin());
    splices.insert(at, std::move(splice));
    recomputeShifts();
    return index;
}

void SpliceList::erase(int index) {
    if (index < 0 || index >= count()) return;
    splices.erase(splices.begin() + index);
    recomputeShifts();
}

void SpliceList::clear() {
    splices.clear();
    cache_.valid = false;
}

void SpliceList::recomputeShifts() {
    int64_t total = 0;
    for (Splice& s : splices) {
        total += spliceRemoval(s);
        s.shift = clamp32(total);
    }
    cache_.valid = false;
}

} // namespace tarnival
