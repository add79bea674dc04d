#include "document/CorrectionList.h"

#include <algorithm>

namespace tarnival {

namespace {
constexpr Correction kSentinel{1, 0, 0, 0, 0};
constexpr size_t kGrowStep = 5000;

void reserveStep(std::vector<Correction>& v, size_t needed) {
    if (needed > v.capacity()) v.reserve((needed / kGrowStep + 1) * kGrowStep);
}
} // namespace

void CorrectionList::reset() {
    entries_.clear();
    entries_.push_back(kSentinel);
    entries_.push_back(kSentinel);
}

void CorrectionList::resetForScan() {
    entries_.clear();
    entries_.push_back(kSentinel);
}

int CorrectionList::find(int32_t position) const {
    int lo = 1, hi = count() - 2;
    int result = count() - 1;
    while (lo <= hi) {
        int mid = lo + (hi - lo) / 2;
        int32_t p = entries_[static_cast<size_t>(mid)].position;
        if (p == position) return mid;
        if (p > position) {
            result = mid;
            hi = mid - 1;
        } else {
            lo = mid + 1;
        }
    }
    return std::max(result, 1);
}

int CorrectionList::findFirst(int32_t position) const {
    int i = find(position);
    while (i > 1 && entries_[static_cast<size_t>(i - 1)].position == position) --i;
    return i;
}

void CorrectionList::insertAt(int index, const Correction& value, int n) {
    if (n <= 0) return;
    reserveStep(entries_, entries_.size() + static_cast<size_t>(n));
    if (index >= count()) {
        entries_.resize(static_cast<size_t>(index), Correction{});
        entries_.insert(entries_.end(), static_cast<size_t>(n), value);
    } else {
        entries_.insert(entries_.begin() + index, static_cast<size_t>(n), value);
    }
}

void CorrectionList::setAtGrow(int index, const Correction& value) {
    if (index >= count()) {
        reserveStep(entries_, static_cast<size_t>(index) + 1);
        entries_.resize(static_cast<size_t>(index) + 1, Correction{});
    }
    entries_[static_cast<size_t>(index)] = value;
}

int CorrectionList::insertOrdered(const Correction& value) {
    int index = findFirst(value.position);
    insertAt(index, value);
    return index;
}

void CorrectionList::sizeBlockCounters(int64_t fileLength) {
    blockCounters_.assign(static_cast<size_t>(fileLength / kBlockBytes + 1), 0);
}

void CorrectionList::zeroBlockCounters() {
    std::fill(blockCounters_.begin(), blockCounters_.end(), 0);
}

void CorrectionList::raiseBlockCounter(int32_t position) {
    size_t b = static_cast<size_t>(std::max(position, 0) / kBlockBytes);
    if (b < blockCounters_.size()) ++blockCounters_[b];
}

void CorrectionList::lowerBlockCounter(int32_t position) {
    size_t b = static_cast<size_t>(std::max(position, 0) / kBlockBytes);
    if (b < blockCounters_.size() && blockCounters_[b] > 0) --blockCounters_[b];
}

int clickCount(const CorrectionList& list, int trackEntries, int cueMarkers, int splices,
               int currentEntry) {
    int n = list.count() - 2 * trackEntries - cueMarkers - splices;
    if (currentEntry > 0 && currentEntry < list.count() &&
        list[currentEntry].magnitude == magnitude_codes::kInsertedCurrent)
        --n;
    return std::max(n, 0);
}

} // namespace tarnival
