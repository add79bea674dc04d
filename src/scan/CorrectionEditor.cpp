#include "scan/CorrectionEditor.h"

#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "scan/CorrectionGenerator.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace tarnival {

namespace {
constexpr int32_t kPieceBytes = 262144;
constexpr int32_t kNoPass = std::numeric_limits<int32_t>::min();
} // namespace

CorrectionEditor::Cluster CorrectionEditor::ClusterOf(int index) const {
    Cluster c{index, index};
    while (c.first - 1 >= 1 && spanStart(list_[c.first]) < overlapReach(list_[c.first - 1]))
        --c.first;
    const int last = list_.count() - 2;
    while (c.last + 1 <= last && spanStart(list_[c.last + 1]) < overlapReach(list_[c.last]))
        ++c.last;
    return c;
}

void CorrectionEditor::regionOf(int first, int last, int32_t& start, int32_t& end) const {
    start = std::numeric_limits<int32_t>::max();
    end = std::numeric_limits<int32_t>::min();
    for (int i = first; i <= last; ++i) {
        start = std::min(start, spanStart(list_[i]));
        end = std::max(end, spanEnd(list_[i]));
    }
}

void CorrectionEditor::restoreFromSource(int64_t from, int64_t to) {
    const WaveLayout& lay = store_.layout;
    // Never into the header or the trailing chunks, and gains always on the data's frame grid
    // (a region wider than the 40960-byte window is read straight from the source).
    from = std::max<int64_t>(from, lay.dataStart);
    to = std::min<int64_t>(to, lay.dataEnd);
    if (from >= to) return;
    from = lay.dataStart + (from - lay.dataStart) / 4 * 4;
    to = std::min<int64_t>(lay.dataStart + (to - lay.dataStart + 3) / 4 * 4, lay.dataEnd);
    std::vector<int16_t> piece;
    for (int64_t pos = from; pos < to; pos += kPieceBytes) {
        const size_t bytes = static_cast<size_t>(std::min<int64_t>(kPieceBytes, to - pos));
        piece.assign((bytes + 1) / 2, 0);
        store_.readSourceWithGains(pos, piece.data(), bytes);
        store_.writeWorking(pos, piece.data(), bytes);
    }
}

void CorrectionEditor::reapply(int first, int last, int skip, int32_t lowPass, int32_t highPass) {
    std::vector<int> chosen;
    for (int i = first; i <= last; ++i)
        if (i != skip && list_[i].pass >= lowPass && list_[i].pass <= highPass) chosen.push_back(i);
    std::stable_sort(chosen.begin(), chosen.end(),
                     [this](int a, int b) { return list_[a].pass < list_[b].pass; });
    for (int i : chosen) generator_.Apply(list_[i], store_);
}

void CorrectionEditor::RestoreCluster(int index, bool reapplyAll) {
    const int last = list_.count() - 2;
    if (index < 1 || index > last) return;

    const bool reuse = reapplyAll && haveCluster_ && index >= cluster_.first &&
                       index <= cluster_.last && cluster_.last <= last;
    if (!reuse) {
        cluster_ = ClusterOf(index);
        regionOf(cluster_.first, cluster_.last, regionStart_, regionEnd_);
        origin_ = list_[index].position - kWindowBytes / 2;
        haveCluster_ = true;
    }

    if (!reapplyAll) {
        restoreFromSource(regionStart_, regionEnd_);
        reapply(cluster_.first, cluster_.last, index, kNoPass, list_[index].pass);
        store_.readWorking(origin_, window_.data(), window_.size());
        windowValid_ = origin_ >= 0;
        return;
    }

    // The entry may have been widened or moved since the cluster was found: cover its spans now.
    int32_t start = 0, end = 0;
    regionOf(cluster_.first, cluster_.last, start, end);
    regionStart_ = std::min(regionStart_, start);
    regionEnd_ = std::max(regionEnd_, end);
    restoreFromSource(regionStart_, regionEnd_);
    reapply(cluster_.first, cluster_.last, kNone, kNoPass, std::numeric_limits<int32_t>::max());
}

void CorrectionEditor::RestoreSpan(const Correction& c) {
    if (c.width < 0) return;
    const int64_t start = spanStart(c);
    const int64_t length = 2 * (static_cast<int64_t>(c.position) - start);
    const int64_t offset = start - origin_;
    if (windowValid_ && offset >= 1 && offset + length <= kWindowBytes - 2) {
        const WaveLayout& lay = store_.layout;
        const int64_t from = std::max<int64_t>(start, lay.dataStart);
        const int64_t to = std::min<int64_t>(start + length, lay.dataEnd);
        if (from < to)
            store_.writeWorking(from, window_.data() + (from - origin_),
                                static_cast<size_t>(to - from));
        return;
    }
    restoreFromSource(start, start + length);
}

void CorrectionEditor::removeEntry(int index) {
    list_.lowerBlockCounter(list_[index].position);
    if (observer_) observer_->entryRemoved(index);
    list_.removeAt(index);
    haveCluster_ = false; // indices have moved
}

bool CorrectionEditor::SetEntry(int index, int32_t newWidth, int32_t newPosition, bool adjustMode) {
    if (index < 1 || index > list_.count() - 2) return false;
    Correction& e = list_[index];
    if (newWidth < 0) {
        if (newPosition > 0) e.position = newPosition;
        return false;
    }
    // Only entries that rewrite audio have a span to put back; an inserted correction that is
    // current outside adjust mode has not been applied yet.
    const bool unapplied = e.magnitude == magnitude_codes::kInsertedCurrent && !adjustMode;
    if (CorrectionGenerator::isApplicable(e) && !unapplied) RestoreSpan(e);
    if (newWidth == 0 && newPosition == 0) {
        removeEntry(index);
        return true;
    }
    e.width = newWidth;
    if (newPosition > 0) {
        const WaveLayout& lay = store_.layout;
        e.position = std::clamp(newPosition, lay.dataStart + kEdgeGuard,
                                std::max(lay.dataStart + kEdgeGuard, lay.dataEnd - kEdgeGuard));
    }
    return false;
}

int CorrectionEditor::Remove(int index, int currentEntry, bool adjustMode) {
    if (index < 1 || index > list_.count() - 2) return currentEntry;
    const Correction removed = list_[index];
    const bool currentInserted = removed.magnitude == magnitude_codes::kInsertedCurrent;
    Cluster cluster{index, index};
    if (!currentInserted) {
        RestoreCluster(index, false);
        cluster = cluster_;
    }
    SetEntry(index, 0, 0, adjustMode);
    if (!currentInserted && cluster.last > cluster.first) {
        // The restore left out the cluster's corrections of a later pass (they were made on top
        // of this one); make them again so the audio keeps matching the list.
        reapply(cluster.first, cluster.last - 1, kNone, removed.pass + 1,
                std::numeric_limits<int32_t>::max());
    }
    windowValid_ = false;
    if (currentEntry == index) return kNone;
    return currentEntry > index ? currentEntry - 1 : currentEntry;
}

void CorrectionEditor::ToggleChannel(int index, bool left) {
    if (index < 1 || index > list_.count() - 2 || list_[index].width < 0) return;
    RestoreCluster(index, false);
    const int32_t flag = left ? width_flags::kKeepLeft : width_flags::kKeepRight;
    SetEntry(index, list_[index].width ^ flag, -1);
    RestoreCluster(index, true);
    list_[index].magnitude = magnitude_codes::kEdited;
}

int CorrectionEditor::InsertUserCorrection(int32_t position, UserInterface& ui) {
    const WaveLayout& lay = store_.layout;
    if (position < lay.dataStart + kEdgeGuard || position > lay.dataEnd - kEdgeGuard) {
        ui.beep();
        return kNone;
    }
    const Correction record{1, 0, lay.toFrame(position), 1, magnitude_codes::kInserted};
    const int index = list_.findFirst(record.position);
    list_.insertAt(index, record);
    list_.raiseBlockCounter(record.position);
    list_[index].magnitude = magnitude_codes::kInsertedCurrent;
    haveCluster_ = false;
    if (observer_) observer_->entryAdded(index);
    return index;
}

} // namespace tarnival
