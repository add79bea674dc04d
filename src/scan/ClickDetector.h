#pragma once
#include "document/Correction.h"
#include "scan/ScanSettings.h"

#include <cstdint>
#include <span>
#include <vector>

namespace tarnival {

class CFft;
class CorrectionList;
class UserInterface;
class WaveStore;

// What the detector needs to know about one scan.
struct DetectorOptions {
    DetectorFactors factors; // from deriveFactors(sensitivity, differential)
    bool differential = false;
    int agc = 0;           // 0 .. 3
    int discriminator = 0; // 0 .. 3
    int minMagnitude = 0;  // 0 .. 10
    bool narrow = false;
    // Precise repair: accepted clicks are given a span wide enough for the damage to be found
    // in it, and with the onset guard candidates that look like a musical onset (and the weaker
    // ones in its attack) are dropped.
    RepairMethod method = RepairMethod::Standard;
    bool onsetGuard = true;
    static constexpr int32_t kPreciseMinWidth = 160;

    // Block re-scan: records carry newPass, only the block [blockStart, blockEnd] is accepted,
    // the level smoothing stops one segment short and extensions follow the re-scan pass rule.
    bool blockRescan = false;
    int32_t newPass = 1;
    int32_t blockStart = 0;
    int32_t blockEnd = 0;

    // A whole-file scan with the document's settings.
    static DetectorOptions fromSettings(const ScanSettings& settings);
};

// Finds clicks in a stream of 256 KiB blocks and appends each accepted one to a correction list.
// The caller streams the blocks: beginScan, then scanBlock for each block in file order, then
// finishScan. The current candidate carries over from block to block.
class ClickDetector {
  public:
    static constexpr int kBlockSamples = 131072;  // samples examined in a full block
    static constexpr int kBufferSamples = 133120; // a block plus 4096 bytes of what follows

    // counters: the list whose block counters an accepted click raises (default: target). A
    // block re-scan fills a block list but counts into the document's list.
    ClickDetector(CorrectionList& target, const WaveStore& store, CFft& fft, UserInterface* ui,
                  const DetectorOptions& options, CorrectionList* counters = nullptr);
    ClickDetector(const ClickDetector&) = delete;
    ClickDetector& operator=(const ClickDetector&) = delete;

    // Empties the target to its leading sentinel plus one empty candidate. Block counters are
    // left alone: sizing and zeroing them is the caller's business.
    void beginScan();

    // Whether the first block of a file shows no difference channel: every frame of the
    // validSamples has left == right, and the block is not all silence.
    static bool monoCheck(const int16_t* buffer, int validSamples = kBufferSamples);
    // For a file found to be mono: detection on the channels themselves, F lowered by 1 again.
    void switchToPerChannel();
    bool differential() const { return differential_; }
    float thresholdFactor() const { return F_; }

    // Runs the detection over one block. buffer holds kBufferSamples samples (the block and the
    // 4096 bytes after it) and is not modified; G is the file position of buffer[0];
    // sampleCount is 131072 for a full block, less for the last one. A new candidate shows
    // "Clicks Found = n" on progress text line 0. bufferIsSource: the buffer holds the source
    // audio as it is (no gains), so the onset guard may read it rather than the file.
    void scanBlock(int32_t G, const int16_t* buffer, int sampleCount, bool bufferIsSource = false);

    // Submits the last candidate; the record returned becomes the trailing sentinel.
    void finishScan();

    // Accepted clicks so far (entries between the leading sentinel and the candidate).
    int clicksFound() const;

  private:
    void computeResiduals(const int16_t* x, int lastK);
    void closeSegment(int s, int peak);
    void search(int32_t G, int sampleCount);
    // Precise repair: clicks in loud noise that stay below the threshold but stand out of the
    // prediction error of a short model, per channel; their frames join the search.
    void findBuriedClicks(const int16_t* x, int last);
    bool findBuriedIn(const int16_t* x, int channel, int from, int to);
    void onFrame(int32_t p, int32_t magnitude);
    int32_t magnitudeOf(int Z, int T) const;
    // Runs the acceptance tests on the current candidate; returns the index of the record to
    // fill next (the same one when the candidate is dropped). The final submission, after the
    // last block, uses the AGC energy kept from that block.
    int submit(bool afterLastBlock);
    double energyAt(int32_t position) const;
    bool guardsOnsets() const {
        return options_.method == RepairMethod::Precise && options_.onsetGuard;
    }
    bool onsetAt(const Correction& candidate) const;
    void showCount();

    CorrectionList& target_;
    CorrectionList& counters_;
    const WaveStore& store_;
    CFft& fft_;
    UserInterface* ui_;
    DetectorOptions options_;
    float F_;
    bool differential_;

    std::vector<int16_t> diff_;      // the difference channel, when detecting on it
    std::vector<uint16_t> residual_; // r[k]
    std::vector<int32_t> seg_;       // level, then threshold, per segment
    std::vector<float> ratio_;       // peak / level per segment
    std::vector<uint8_t> buried_;    // per segment: whether it holds buried clicks
    std::vector<uint8_t> buriedAt_;  // per frame of the buffer: part of a buried click
    std::vector<float> buriedAudio_;
    std::vector<double> buriedSums_;
    static constexpr int kBuriedOrder = 8;
    static constexpr int32_t kBuriedMagnitude = 2;
    static constexpr double kBuriedLevel = 6.0;    // over the run's mean
    static constexpr double kBuriedStandOut = 6.0; // over the louder side
    int32_t hist_[20] = {};

    // The block being scanned; the candidate left over at its end keeps the energy of its AGC
    // window so the final submission does not need the buffer any more.
    const int16_t* x_ = nullptr;
    int32_t G_ = 0;
    const int16_t* sourceBlock_ =
        nullptr; // the block's buffer while it is scanned, if it is the source
    double pendingEnergy_ = 0.0;
    int lastShown_ = -1;
    mutable std::vector<int16_t> onset_; // audio about a candidate, for the onset guard
    static constexpr int64_t kNoOnset = -(int64_t{1} << 40);
    int64_t lastOnset_ = kNoOnset; // start of the last candidate the onset guard dropped
    int32_t lastOnsetMagnitude_ = 0;
};

// Pieces of the detection with exact values of their own.
namespace click_detail {

constexpr int kHistogramBins = 20;
// Histogram bin of a roughness value.
int roughnessBin(int r);
// Roughness exceeded by the 15 roughest residuals of a segment, interpolated inside its bin.
int32_t segmentLevel(const int32_t (&hist)[kHistogramBins]);
// Pulls down levels that a click has inflated, for segments 1 .. last (seg and ratio need
// last + 6 entries), then copies segment 1's level into segment 0.
void smoothLevels(std::span<int32_t> seg, std::span<float> ratio, int last, int sensitivity,
                  int jump);
// Turns the levels of segments 0 .. last into thresholds.
void levelsToThresholds(std::span<int32_t> seg, std::span<float> ratio, int last, float F);
// Width and magnitude of an accepted click, after it has been centred.
void adjustAccepted(Correction& c, float rms, bool narrow);

} // namespace click_detail

} // namespace tarnival
