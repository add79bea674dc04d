#pragma once
#include "document/Correction.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnival {

// The position-ordered list of corrections and markers, with a leading and a trailing sentinel,
// and the per-256-KiB-block entry counters that the overview reads. This class is the pure list;
// operations that rewrite audio live with the document.
class CorrectionList {
  public:
    static constexpr int32_t kBlockBytes = 262144;

    CorrectionList() { reset(); }

    // Empties the list to its two sentinels.
    void reset();
    // Empties the list to the leading sentinel only (a scan appends from there).
    void resetForScan();
    void clear() { entries_.clear(); }

    int count() const { return static_cast<int>(entries_.size()); }
    Correction& operator[](int index) { return entries_[static_cast<size_t>(index)]; }
    const Correction& operator[](int index) const { return entries_[static_cast<size_t>(index)]; }
    const std::vector<Correction>& entries() const { return entries_; }
    std::vector<Correction>& entries() { return entries_; }

    // Binary search over entries 1..count-2: an entry at the position, else the first above it.
    int find(int32_t position) const;
    // The first entry of a run at the same position: where a new entry goes.
    int findFirst(int32_t position) const;
    // Opens a gap of n records at index, each set to value.
    void insertAt(int index, const Correction& value, int n = 1);
    void setAtGrow(int index, const Correction& value);
    void removeAt(int index) { entries_.erase(entries_.begin() + index); }
    // Inserts at the findFirst place and returns the index.
    int insertOrdered(const Correction& value);

    // Block counters: one per 256 KiB of the file.
    void sizeBlockCounters(int64_t fileLength);
    void zeroBlockCounters();
    void raiseBlockCounter(int32_t position);
    void lowerBlockCounter(int32_t position);
    const std::vector<int32_t>& blockCounters() const { return blockCounters_; }

  private:
    std::vector<Correction> entries_;
    std::vector<int32_t> blockCounters_;
};

// Number of clicks the status bar shows.
int clickCount(const CorrectionList& list, int trackEntries, int cueMarkers, int splices,
               int currentEntry);

} // namespace tarnival
