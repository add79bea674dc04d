#pragma once
#include "document/Correction.h"
#include "scan/PreciseRepair.h"
#include "scan/RepairMethod.h"

#include <array>
#include <cstdint>
#include <memory>

namespace tarnival {

class CFft;
class CorrectionList;
class DocumentObserver;
class UserInterface;
class WaveStore;

// Computes the replacement samples of one correction from the working file's current audio and
// writes them back in place. Nothing is remembered between corrections except the buffers, so a
// correction can be applied, removed and applied again from its record alone.
class CorrectionGenerator {
  public:
    static constexpr int kFrames = 818;                // frames read around a correction
    static constexpr int kBytes = kFrames * 4;         // 3272
    static constexpr int kLeadBytes = 2248;            // bytes read before the centre
    static constexpr int kCentre = kLeadBytes / 4;     // frame 562 of the buffer is the centre
    static constexpr int kClickWindow = kCentre - 256; // first buffer frame of the click window
    static constexpr int kMaxWidth = 300;              // widest width the long method can hold
    static constexpr int kPeaks = 24;

    explicit CorrectionGenerator(CFft& fft, RepairMethod method = RepairMethod::Standard)
        : fft_(fft) {
        setMethod(method);
    }

    // The method every later Apply uses. It belongs to the document's corrections as a whole:
    // set it before making them, and keep it while they are edited, so that a restore or re-apply
    // gives the audio they were made with.
    void setMethod(RepairMethod method);
    RepairMethod method() const { return method_; }
    // Precise repair's tuning (for measurements); ignored by the standard method.
    void setPreciseTuning(const PreciseRepair::Tuning& tuning);

    // Applies one record to the working file. Records that are no corrections (track markers,
    // splice markers, cue markers) are skipped, and so are records whose 3272-byte buffer would
    // not lie inside the audio data or whose position is not on a frame: applying those would
    // rewrite header bytes or misread the sample grid. Returns whether audio was rewritten.
    // The precise method leaves audio that shows no damage alone (false), and falls back to the
    // standard method where the damage is too wide to interpolate.
    bool Apply(const Correction& c, WaveStore& store);

    // Whether Apply would rewrite audio for this record (kind test only, no layout check).
    static bool isApplicable(const Correction& c);
    // b: frames replaced on each side of the centre; the width is taken as at most 300 bytes.
    static int sideFrames(int32_t width);
    // A: half-width of the reconstructed core of a long correction.
    static int coreHalfWidth(int b);

    // The buffers of the last Apply (O: as read, N: as written), interleaved left, right.
    const std::array<int16_t, kFrames * 2>& original() const { return o_; }
    const std::array<int16_t, kFrames * 2>& replaced() const { return n_; }
    // How the precise method's corrections went since the method was set: samples replaced,
    // left alone, or made the standard way.
    struct PreciseCounts {
        int repaired = 0, clean = 0, standard = 0;
    };
    const PreciseCounts& preciseCounts() const { return counts_; }

  private:
    void shortMethod(int b);
    void reconstruct(int channel, int b, float* result);
    void blend(int channel, int b, const float* result);

    CFft& fft_;
    RepairMethod method_ = RepairMethod::Standard;
    std::unique_ptr<PreciseRepair> precise_; // made when first needed; its buffers are large
    PreciseCounts counts_;
    std::array<int16_t, kFrames * 2> o_{};
    std::array<int16_t, kFrames * 2> n_{};
    std::array<float, 512> left_{};
    std::array<float, 512> right_{};
};

// Making corrections: every correction of a list applied in ascending pass order.
struct MakeOptions {
    int trackEntries = 1;   // number of entries of the track list (entry 0 spans the file)
    bool blockList = false; // the list is the block list of a re-scan: the status is left alone
    int* status = nullptr;  // the document status: 4 at the start, 5 when completed
    int currentEntry = -1;  // entry current in the views, made current again at the start
    DocumentObserver* observer = nullptr;
};

struct MakeResult {
    bool cancelled = false;
    int cancelIndex = 0; // index of the entry at which the user cancelled
    int applied = 0;     // corrections that rewrote audio
};

MakeResult MakeCorrections(const CorrectionList& list, CorrectionGenerator& generator,
                           WaveStore& store, UserInterface& ui, const MakeOptions& options = {});

} // namespace tarnival
