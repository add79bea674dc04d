#pragma once
#include "document/Correction.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace tarnival {

class WaveStore;

// Precise repair of one correction: inside the record's span, an autoregressive model fitted to
// the audio on both sides finds the samples whose prediction error stands out, per channel, and
// only those are replaced by least-squares autoregressive interpolation. Every other sample is
// written back as it was read.
//
// The audio around the span is taken from the source (with the channel gains) and the span
// itself from the working file: the result then depends only on the original audio and on the
// corrections overlapping this one, which is exactly what a cluster restore puts back, so
// re-applying after an edit gives the same samples whatever happened to the neighbours.
class PreciseRepair {
  public:
    static constexpr int kMaxOrder = 128;    // highest model order
    static constexpr int kMaxContext = 2048; // most frames fitted on each side of the span
    static constexpr int kMaxHalf = 242;     // half-span of the widest record (width 300)
    static constexpr int kMaxRun = 128;      // widest run of damaged samples that is interpolated
    static constexpr int kMaxMarked = 2 * kMaxRun; // damaged samples per channel, all runs
    static constexpr int kFrames = 2 * kMaxHalf + 2 * kMaxContext;

    enum class Outcome {
        Repaired, // some samples were replaced
        Clean,    // nothing stood out (or it was a musical onset): the audio is left alone
        Standard, // too wide to interpolate, or too little audio around it to fit a model
    };

    struct Tuning {
        double threshold = 4.0; // prediction error, in residual RMS, that marks a sample
        bool onsetGuard = true; // leave candidates alone that look like a musical onset
        int order = 32;         // model that finds the damage
        int context = 512;      // frames it is fitted to on each side
        // The model that fills a run of n damaged samples: order max(order, orderPerSample * n)
        // fitted to max(context, contextPerOrder * its order) frames a side, within the limits.
        double orderPerSample = 3.0;
        int contextPerOrder = 8;
    };

    PreciseRepair() = default;
    explicit PreciseRepair(const Tuning& tuning) : tuning_(tuning) {}

    // The record must be an applicable correction on a frame position; frames it needs outside
    // the audio data are left out of the fit.
    Outcome apply(const Correction& c, WaveStore& store);

    // Frames replaced on each side of the centre that a record's span allows (the precise
    // method never writes outside it).
    static int halfSpan(int32_t width);

    // Samples replaced by the last apply, per channel, as frame offsets from the centre.
    int markedCount(int channel) const { return marked_[static_cast<size_t>(channel)]; }
    int markedFrame(int channel, int i) const;

    // Replaces frames [from, to) of one channel of interleaved audio by interpolation from the
    // frames around them (at most kMaxContext a side, kMaxRun samples): what apply does to a run
    // it found damaged. False when the model could not be fitted.
    bool interpolateStretch(int16_t* frames, int count, int channel, int from, int to);

  private:
    struct Model {
        int order = 0;
        double rms = 0;
        std::array<double, kMaxOrder + 1> coef{}; // 1, -a1 .. -ap: the prediction-error filter
    };
    // Fits a model of the order to x_ over [from, to) without [gapFrom, gapTo).
    bool fit(Model& model, int order, int from, int to, int gapFrom, int gapTo);
    void predictionErrors(const Model& model, int from, int to);
    // Marks the damaged runs of the region; false when a run is too wide to interpolate.
    bool mark(int channel, int from, int to, double limit);
    // Fills the channel's marked samples in x_ and raw_; validFrom/validTo bound the audio.
    bool interpolate(int channel, int validFrom, int validTo);
    bool solve(const Model& model, const int* unknown, int m);
    void loadChannel(int channel, int from, int to);

    Tuning tuning_;
    std::array<int16_t, kFrames * 2> raw_{}; // the audio about the centre, interleaved
    std::array<double, kFrames> x_{};        // one channel of raw_
    std::array<double, kFrames> forward_{};  // forward prediction errors
    std::array<double, kFrames> backward_{}; // backward prediction errors
    std::array<double, kFrames> known_{};    // errors with the unknown samples zeroed
    std::array<double, (kMaxOrder + 1) * (kMaxOrder + 1)> cov_{};
    std::array<double, kMaxOrder * kMaxOrder> normal_{};
    std::array<double, kMaxOrder + 1> autoc_{};
    Model detect_, fill_;
    std::array<std::array<int, kMaxMarked>, 2> unknown_{}; // buffer indices of marked samples
    std::array<int, 2> marked_{};
    std::array<double, kMaxMarked*(kMaxOrder + 1)> band_{}; // banded Cholesky factor
    std::array<double, kMaxMarked> rhs_{};
    int centre_ = 0; // buffer index of the centre frame
};

// Whether the stretch [from, to) of interleaved stereo frames looks like the start of a musical
// note rather than a click: the energy after it rises well above the energy before it, in both
// channels and in the upper band too, and is still up a little later. Only frames in
// [validFrom, validTo) are read; it looks at most kOnsetLead frames before the stretch and
// kOnsetTail frames after it.
constexpr int kOnsetLead = 520;
constexpr int kOnsetTail = 648;
bool isMusicalOnset(const int16_t* frames, int validFrom, int validTo, int from, int to);

} // namespace tarnival
