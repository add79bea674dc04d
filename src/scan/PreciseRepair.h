#pragma once
#include "document/Correction.h"
#include "dsp/Autocorrelation.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

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
    static constexpr int kMaxOrder = 480;           // highest model order
    static constexpr int kMaxCovarianceOrder = 128; // highest order fitted by least squares
    static constexpr int kMaxContext = 2048;        // most frames fitted on each side of the span
    static constexpr int kMaxHalf = 242;            // half-span of the widest record (width 300)
    static constexpr int kMaxRun = 128; // widest run of damaged samples that is interpolated
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
        int order = 20;         // model that finds the damage
        int context = 256;      // frames it is fitted to on each side
        // The model that fills a shorter run of n damaged samples: order max(order, orderPerSample
        // * n) fitted to max(context, contextPerOrder * its order) frames a side, within the
        // limits.
        double orderPerSample = 3.0;
        int contextPerOrder = 6;
        int maxFillOrder = kMaxCovarianceOrder;
        // Runs at least windowedRun long are filled by a model of windowedOrderPerSample * n poles
        // fitted to the windowed autocorrelation of windowedContext frames a side: far cheaper
        // than least squares at the high orders long gaps need, and as good with that much audio.
        int windowedRun = 8;
        double windowedOrderPerSample = 8.0;
        int windowedContext = kMaxContext;
    };

    PreciseRepair() = default;
    explicit PreciseRepair(const Tuning& tuning) : tuning_(tuning) {}

    // The record must be an applicable correction on a frame position; frames it needs outside
    // the audio data are left out of the fit.
    Outcome apply(const Correction& c, WaveStore& store);

    // A stretch of damage known beforehand: frames from the start of the audio data.
    struct Damage {
        int frame = 0;
        int frames = 0;
        bool left = true, right = true;
    };
    // Replaces exactly the known damaged samples that lie in the record's span, without
    // looking for any: what a perfect marking would give, as a yardstick for the benchmarks.
    Outcome applyKnown(const Correction& c, WaveStore& store, std::span<const Damage> damage);

    // Frames replaced on each side of the centre that a record's span allows (the precise
    // method never writes outside it).
    static int halfSpan(int32_t width);

  private:
    struct Model {
        int order = 0;
        double rms = 0;
        std::array<double, kMaxOrder + 1> coef{}; // 1, -a1 .. -ap: the prediction-error filter
    };
    int order() const { return std::clamp(tuning_.order, 2, kMaxOrder); }
    // Reads the audio about the record; false when there is too little of it around to fit.
    bool load(const Correction& c, WaveStore& store);
    // First and last buffer index marked in either channel.
    std::pair<int, int> markedStretch() const;
    // Interpolates the marked samples of both channels and writes them to the working file.
    Outcome replaceMarked();
    // Fits a model of the order to x_ over [from, to) without [gapFrom, gapTo).
    bool fit(Model& model, int order, int from, int to, int gapFrom, int gapTo);
    // The same from the Hann-windowed autocorrelation of each side, by Levinson-Durbin.
    bool fitWindowed(Model& model, int order, int from, int to, int gapFrom, int gapTo);
    void predictionErrors(const Model& model, int from, int to);
    // Marks the damaged runs of the region; false when a run is too wide to interpolate.
    bool mark(int channel, int from, int to, double limit);
    // Sets loud_ over the stretches of [from, to) whose errors stand out together.
    void markLoudStretches(int from, int to, double limit);
    // Fills the channel's marked samples in x_ and raw_.
    bool interpolate(int channel);
    // Whether the channel's interpolation is far louder than the clean audio about it.
    bool overshoots(int channel) const;
    // Reads more of the source about the centre so that [from, to) is loaded (within the data).
    void extend(int from, int to);
    bool onsetAt(int from, int to);
    // Where the damage whose prediction errors end at `end` really ends, at most `stop`.
    int tailEnd(int channel, int start, int end, int stop, double limit);
    // The model that fills a gap whose longest run is `longest` samples (null if none fits).
    const Model* fillModel(int channel, int gapFrom, int gapTo, int longest);
    bool solve(const Model& model, const int* unknown, int m);
    // Solves T x = y for the symmetric Toeplitz T with first column t[0 .. P] (zero beyond);
    // y (m values) becomes x. Uses band_ as scratch.
    bool levinsonSolve(const double* t, int P, double* y, int m);
    void loadChannel(int channel, int from, int to);

    Tuning tuning_;
    std::array<int16_t, kFrames * 2> raw_{}; // the audio about the centre, interleaved
    std::array<double, kFrames> x_{};        // one channel of raw_
    std::array<double, kFrames> forward_{};  // forward prediction errors
    std::array<double, kFrames> backward_{}; // backward prediction errors
    std::array<double, kFrames> known_{};    // errors with the unknown samples zeroed
    std::array<double, kFrames + 1> sums_{}; // running sums of squared errors
    std::array<uint8_t, kFrames> loud_{};    // samples of stretches that stand out together
    std::array<double, (kMaxCovarianceOrder + 1) * (kMaxCovarianceOrder + 1)> cov_{};
    std::array<double, kMaxCovarianceOrder * kMaxCovarianceOrder> normal_{};
    std::array<double, kMaxOrder + 1> autoc_{};
    std::array<double, kMaxContext> windowed_{};
    std::array<double, kMaxContext> hann_{}; // the window of the last length used
    int hannLength_ = 0;
    Autocorrelation spectrum_{kMaxContext, kMaxOrder};
    std::array<Model, 2> detect_; // per channel: the model that found the damage
    Model fill_;
    std::array<std::array<int, kMaxMarked>, 2> unknown_{}; // buffer indices of marked samples
    std::array<int, 2> marked_{};
    std::array<double, kMaxMarked*(kMaxOrder + 1)> band_{}; // banded Cholesky factor
    std::array<double, kMaxMarked> rhs_{};
    std::array<int, kMaxRun> ramp_{};
    int centre_ = 0;                    // buffer index of the centre frame
    int firstFrame_ = 0;                // data frame of buffer index 0
    int regionFrom_ = 0, regionTo_ = 0; // the record's span, in buffer indices
    int wideFrom_ = 0, wideTo_ = 0;     // damage too wide to interpolate, when mark refused
    WaveStore* store_ = nullptr;        // the store being repaired, while apply runs
    int64_t base_ = 0;                  // file position of buffer frame 0
    int dataFrom_ = 0, dataTo_ = 0;     // buffer frames that hold audio data
    int loadedFrom_ = 0, loadedTo_ = 0;
};

// Whether the stretch [from, to) of interleaved stereo frames looks like the start of a musical
// note rather than a click. In a channel a note shows as energy that rises at once (in the upper
// band too) and stays up, or as sound that a model of the audio before cannot predict, just after
// the stretch and still a little later; the other channel must not fall meanwhile. A click leaves
// the audio after it as it was before, or towers over it. Only frames in [validFrom, validTo) are
// read: at most kOnsetLead frames before the stretch and kOnsetTail after it.
constexpr int kOnsetLead = 532;
constexpr int kOnsetTail = 656;
bool isMusicalOnset(const int16_t* frames, int validFrom, int validTo, int from, int to);

} // namespace tarnival
