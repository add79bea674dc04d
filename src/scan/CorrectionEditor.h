#pragma once
#include "document/Correction.h"

#include <array>
#include <cstdint>

namespace tarnival {

class CorrectionGenerator;
class CorrectionList;
class DocumentObserver;
class UserInterface;
class WaveStore;

// The correction list operations that rewrite audio: restoring the original waveform under a
// cluster of overlapping corrections, changing or removing one entry, switching its channels and
// inserting a user correction. Remembers the last cluster and a 40960-byte window of the working
// file about the last entry restored, so an edit in progress can put a span back cheaply.
class CorrectionEditor {
  public:
    static constexpr int32_t kWindowBytes = 40960;
    static constexpr int kNone = -1;

    struct Cluster {
        int first = 0;
        int last = 0;
    };

    CorrectionEditor(CorrectionList& list, WaveStore& store, CorrectionGenerator& generator,
                     DocumentObserver* observer = nullptr)
        : list_(list), store_(store), generator_(generator), observer_(observer) {}

    // The chain of entries about index whose spans overlap.
    Cluster ClusterOf(int index) const;

    // Rewrites the original audio under the cluster of index and applies its corrections again.
    // reapplyAll clear: finds the cluster, re-applies only the others of pass not above the
    // entry's, and fills the window cache. reapplyAll set: reuses the last cluster (found afresh
    // when index is not in it or the list has shrunk below it; edits made outside this editor
    // are not noticed, so call it straight after the clear-flag call) and applies all of it, the
    // entry included.
    void RestoreCluster(int index, bool reapplyAll);

    // Puts the entry's own span back to the audio without it, then removes the entry (newWidth 0
    // and newPosition 0) or stores newWidth and, when newPosition > 0, the position clamped to
    // the correctable range. newWidth < 0 only stores the position. Returns whether the entry
    // was removed.
    bool SetEntry(int index, int32_t newWidth, int32_t newPosition, bool adjustMode = false);

    // Removes an entry and restores the audio beneath it. Returns the current entry after the
    // removal (kNone when the current entry was the one removed; later indices move down one).
    int Remove(int index, int currentEntry, bool adjustMode = false);

    // Switches whether the correction applies to the left (or right) channel and rewrites the
    // audio accordingly; the entry becomes a user-edited correction.
    void ToggleChannel(int index, bool left);

    // Inserts a user correction at position (brought to a frame) and returns its index, or kNone
    // (after a beep) when the position lies outside the correctable range. The new entry is
    // marked current (magnitude -4); the caller records it as the current entry.
    int InsertUserCorrection(int32_t position, UserInterface& ui);

    // Puts the span of one correction back to the audio without it: from the window cache when
    // the cache holds it, otherwise from the source with the gains.
    void RestoreSpan(const Correction& c);

    // Drops the window cache, e.g. after the working file was rewritten by a filter.
    void invalidateWindow() { windowValid_ = false; }
    // Forgets the last cluster too: after the list or the working file changed as a whole.
    void invalidate() {
        windowValid_ = false;
        haveCluster_ = false;
    }

    void setObserver(DocumentObserver* observer) { observer_ = observer; }
    Cluster lastCluster() const { return cluster_; }
    int32_t regionStart() const { return regionStart_; }
    int32_t regionEnd() const { return regionEnd_; }
    int32_t windowOrigin() const { return origin_; }

  private:
    // Copies [from, to) of the source, with gains, into the working file, kept inside the data.
    void restoreFromSource(int64_t from, int64_t to);
    // Applies the entries first..last except skip whose pass lies in [lowPass, highPass], in
    // ascending pass, list order within a pass.
    void reapply(int first, int last, int skip, int32_t lowPass, int32_t highPass);
    void regionOf(int first, int last, int32_t& start, int32_t& end) const;
    void removeEntry(int index);

    CorrectionList& list_;
    WaveStore& store_;
    CorrectionGenerator& generator_;
    DocumentObserver* observer_;

    bool haveCluster_ = false;
    Cluster cluster_;
    int32_t regionStart_ = 0;
    int32_t regionEnd_ = 0;
    int32_t origin_ = 0;
    bool windowValid_ = false;
    std::array<uint8_t, kWindowBytes> window_{};
};

} // namespace tarnival
