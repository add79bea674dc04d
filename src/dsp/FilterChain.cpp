#include "dsp/FilterChain.h"
#include "document/Settings.h"
#include "dsp/NoiseProfile.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

namespace tarnival {

namespace {

constexpr int kPassFrames = kBlockSize / 4; // 65536 frames: the unit of reading and writing
constexpr int kHop = 256;                   // frames between spectral blocks
constexpr int kSpan = CFft::N;              // frames of one spectral block
constexpr int kWarmUpFrames = 4096;         // the high-pass settles on audio before the range
constexpr int kTrebleHalf = 7;              // frames on either side of the treble tap centre

// Truncated toward zero and clipped to 16 bits; written with value selects so that loops
// around it vectorise.
template <class T> int16_t toSample(T v) {
    v = v < T(-32768) ? T(-32768) : v;
    v = v > T(32767) ? T(32767) : v;
    return static_cast<int16_t>(static_cast<int32_t>(v));
}

// Where a pass reads and writes: the working file, or a copy of a stretch of it in memory (the
// filter test). Outside the audio data everything reads as silence.
class SampleIo {
  public:
    explicit SampleIo(WaveStore& store) : store_(store) {}
    virtual ~SampleIo() = default;
    SampleIo(const SampleIo&) = delete;
    SampleIo& operator=(const SampleIo&) = delete;

    virtual void read(int64_t pos, int16_t* samples, int64_t bytes) const {
        const WaveLayout& l = store_.layout;
        std::memset(samples, 0, static_cast<size_t>(bytes));
        int64_t from = std::max<int64_t>(pos, l.dataStart);
        int64_t to = std::min<int64_t>(pos + bytes, l.dataEnd);
        if (from < to)
            store_.readWorking(from, reinterpret_cast<uint8_t*>(samples) + (from - pos),
                               static_cast<size_t>(to - from));
    }
    virtual void write(int64_t pos, const int16_t* samples, int64_t bytes) {
        store_.writeWorking(pos, samples, static_cast<size_t>(bytes));
    }

  protected:
    WaveStore& store_;
};

// A stretch held in memory: reads see it over the working file, writes go only into it.
class BufferIo : public SampleIo {
  public:
    BufferIo(WaveStore& store, FilterRange stretch)
        : SampleIo(store), base_(stretch.start),
          samples_(static_cast<size_t>((stretch.end - stretch.start) / 2)) {
        SampleIo::read(base_, samples_.data(), bytes());
    }
    void read(int64_t pos, int16_t* samples, int64_t count) const override {
        SampleIo::read(pos, samples, count);
        overlap(pos, count, [&](int64_t at, int64_t n) {
            std::memcpy(reinterpret_cast<uint8_t*>(samples) + (at - pos),
                        reinterpret_cast<const uint8_t*>(samples_.data()) + (at - base_),
                        static_cast<size_t>(n));
        });
    }
    void write(int64_t pos, const int16_t* samples, int64_t count) override {
        overlap(pos, count, [&](int64_t at, int64_t n) {
            std::memcpy(reinterpret_cast<uint8_t*>(samples_.data()) + (at - base_),
                        reinterpret_cast<const uint8_t*>(samples) + (at - pos),
                        static_cast<size_t>(n));
        });
    }
    std::vector<int16_t> take() { return std::move(samples_); }

  private:
    int64_t bytes() const { return static_cast<int64_t>(samples_.size()) * 2; }
    template <class F> void overlap(int64_t pos, int64_t count, F&& f) const {
        int64_t from = std::max(pos, base_);
        int64_t to = std::min(pos + count, base_ + bytes());
        if (from < to) f(from, to - from);
    }
    int64_t base_;
    std::vector<int16_t> samples_;
};

// One run of a pass: where it reads and writes and whether Cancel is looked at.
struct Pass {
    FilterContext& ctx;
    SampleIo& io;
    FilterRange range;
    const PassOptions& options;
    bool interruptible = true; // false for the in-memory test
    bool offerCancel = true;   // false: a Cancel press is ignored (treble before a full scan)

    void begin() const {
        if (!interruptible) return;
        if (ctx.cancelPosition) *ctx.cancelPosition = 0;
        ctx.ui.setProgressRange(range.start, range.end);
    }
    // Called before each block: pumps, and says whether the user wants the pass stopped here.
    bool stopAt(int64_t pos) const {
        if (!interruptible) return false;
        ctx.ui.setProgressPosition(pos);
        if (!ctx.ui.pumpAndTakeCancel() || !offerCancel) return false;
        if (!options.silent &&
            ctx.ui.ask(options.cancelQuestion, "Tarnival", Buttons::YesNo) != Answer::Yes)
            return false;
        if (ctx.cancelPosition) *ctx.cancelPosition = static_cast<int32_t>(pos);
        return true;
    }
};

PassResult cancelledAt(int64_t pos) {
    PassResult r;
    r.cancelled = true;
    r.cancelPosition = pos;
    return r;
}

// Second-order Butterworth high-pass in direct form II: -3 dB at 60 Hz for 44.1 kHz.
struct HighPassSection {
    static constexpr double a1 = 1.9879106685, a2 = -0.9879833067;
    static constexpr double b0 = 0.9939734938, b1 = -1.9879469876, b2 = 0.9939734938;
    double w1 = 0, w2 = 0;
};

// Filters interleaved frames into out (may be null while settling). Two frames per step, the
// second written in terms of the states before the first, so that the recursion's chain of
// dependent operations is walked once per two frames.
void highPassFrames(HighPassSection (&s)[2], const int16_t* samples, int64_t frames, double* out) {
    using H = HighPassSection;
    constexpr double c1 = H::a1 * H::a1 + H::a2, c2 = H::a1 * H::a2;
    for (int ch = 0; ch < 2; ++ch) {
        double p1 = s[ch].w1, p2 = s[ch].w2;
        const int16_t* x = samples + ch;
        double* y = out ? out + ch : nullptr;
        int64_t f = 0;
        for (; f + 1 < frames; f += 2) {
            const double x0 = x[2 * f], x1 = x[2 * f + 2];
            const double w0 = (x0 + H::a2 * p2) + H::a1 * p1;
            const double w1 = (x1 + H::a1 * x0 + c2 * p2) + c1 * p1;
            if (y) {
                y[2 * f] = H::b0 * w0 + H::b1 * p1 + H::b2 * p2;
                y[2 * f + 2] = H::b0 * w1 + H::b1 * w0 + H::b2 * p1;
            }
            p2 = w0, p1 = w1;
        }
        if (f < frames) {
            const double w0 = (x[2 * f] + H::a2 * p2) + H::a1 * p1;
            if (y) y[2 * f] = H::b0 * w0 + H::b1 * p1 + H::b2 * p2;
            p2 = p1, p1 = w0;
        }
        s[ch].w1 = p1, s[ch].w2 = p2;
    }
}

PassResult highPass(const Pass& pass) {
    const WaveLayout& l = pass.ctx.layout();
    // Fresh state for every pass, settled on the audio just before the range so that a block
    // pass does not start with the step response of a filter at rest.
    HighPassSection section[2];
    std::vector<int16_t> buffer(static_cast<size_t>(kPassFrames) * 2);
    std::vector<double> filtered(buffer.size());
    const int64_t warmFrom =
        std::max<int64_t>(l.dataStart, pass.range.start - int64_t{kWarmUpFrames} * 4);
    if (warmFrom < pass.range.start) {
        const int64_t bytes = pass.range.start - warmFrom;
        pass.io.read(warmFrom, buffer.data(), bytes);
        highPassFrames(section, buffer.data(), bytes / 4, nullptr);
    }
    pass.begin();
    for (int64_t pos = pass.range.start; pos < pass.range.end; pos += kBlockSize) {
        if (pass.stopAt(pos)) return cancelledAt(pos);
        const int64_t bytes = std::min<int64_t>(kBlockSize, pass.range.end - pos);
        pass.io.read(pos, buffer.data(), bytes);
        highPassFrames(section, buffer.data(), bytes / 4, filtered.data());
        for (size_t i = 0; i < static_cast<size_t>(bytes / 2); ++i)
            buffer[i] = toSample(filtered[i]);
        pass.io.write(pos, buffer.data(), bytes);
    }
    return {};
}

// Taps 1..8 of the treble shelf by level -3..-1, 1..3; taps 9..15 mirror 7..1. Each row sums
// to about 10, so the gain is 0.1 x the sum of taps times the samples.
constexpr double kTrebleTaps[6][8] = {
    {-0.00266177774, -0.02549194361, -0.0839776013, 0.03414597029, 0.3953805823, 0.9905078962,
     1.566258797, 4.306601235},
    {-0.002129422192, -0.02039355488, -0.06718208104, 0.02731677623, 0.3163044659, 0.7924063169,
     1.253007037, 5.445280988},
    {-0.001313143685, -0.01257602551, -0.04142894998, 0.01684534534, 0.1950544206, 0.4886505621,
     0.772687673, 7.191256609},
    {0.002129422192, 0.02039355488, 0.06718208104, -0.02731677623, -0.3163044659, -0.7924063169,
     -1.253007037, 14.55471901},
    {0.00532355548, 0.05098388721, 0.1679552026, -0.06829194059, -0.7907611647, -1.981015792,
     -3.132517593, 21.38679753},
    {0.01064711096, 0.1019677744, 0.3359104052, -0.1365838812, -1.581522329, -3.962031585,
     -6.265035187, 32.77359506},
};

PassResult treble(const Pass& pass, int level) {
    // Single precision: the rounding of 15 products stays well below one unit.
    const double* row = kTrebleTaps[level < 0 ? level + 3 : level + 2];
    float taps[kTrebleHalf + 1];
    for (int i = 0; i <= kTrebleHalf; ++i) taps[i] = static_cast<float>(0.1 * row[i]);

    // The filter is centred on the output frame (its 7 frames of delay taken out), so the
    // audio keeps its place against corrections and markers and a block pass joins its
    // neighbours without a jump. Each block is read with the 7 frames after it; the 7 before
    // it are kept from the previous block as they were before filtering.
    constexpr int kEdge = 2 * kTrebleHalf;
    std::vector<int16_t> input(static_cast<size_t>(kPassFrames + kEdge) * 2);
    std::vector<int16_t> output(static_cast<size_t>(kPassFrames) * 2);
    std::vector<float> channel(static_cast<size_t>(kPassFrames + kEdge));
    pass.io.read(pass.range.start - kTrebleHalf * 4, input.data(), kTrebleHalf * 4);
    pass.begin();
    for (int64_t pos = pass.range.start; pos < pass.range.end; pos += kBlockSize) {
        if (pass.stopAt(pos)) return cancelledAt(pos);
        const int64_t bytes = std::min<int64_t>(kBlockSize, pass.range.end - pos);
        const int frames = static_cast<int>(bytes / 4);
        pass.io.read(pos, input.data() + kTrebleHalf * 2, bytes + kTrebleHalf * 4);
        for (int ch = 0; ch < 2; ++ch) {
            float* x = channel.data();
            for (int f = 0; f < frames + kEdge; ++f) x[f] = input[2 * static_cast<size_t>(f) + ch];
            // Symmetric taps: pairs of samples share a multiplication.
            for (int f = 0; f < frames; ++f) {
                float y = taps[kTrebleHalf] * x[f + kTrebleHalf];
                for (int t = 0; t < kTrebleHalf; ++t) y += taps[t] * (x[f + t] + x[f + kEdge - t]);
                output[2 * static_cast<size_t>(f) + ch] = toSample(y);
            }
        }
        pass.io.write(pos, output.data(), bytes);
        std::memmove(input.data(), input.data() + 2 * frames, kTrebleHalf * 4);
    }
    return {};
}

// The 512-point transforms of the spectral pass, in single precision on FFTW's own aligned
// arrays and planned once per pass: a hop copies nothing it need not. Single precision keeps
// its rounding to hundredths of one 16-bit unit and halves the cost of the busiest loop of the
// filters. The inverse is left unscaled; the scaling is folded into the overlap-add weights.
class BlockTransform {
  public:
    BlockTransform() : real_(fftwf_alloc_real(kSpan)), half_(fftwf_alloc_complex(kSpan / 2 + 1)) {
        if (real_ && half_) {
            forward_ = fftwf_plan_dft_r2c_1d(kSpan, real_, half_, FFTW_ESTIMATE);
            inverse_ = fftwf_plan_dft_c2r_1d(kSpan, half_, real_, FFTW_ESTIMATE);
        }
        if (!forward_ || !inverse_) {
            release();
            throw std::bad_alloc();
        }
    }
    ~BlockTransform() { release(); }
    BlockTransform(const BlockTransform&) = delete;
    BlockTransform& operator=(const BlockTransform&) = delete;

    float* samples() { return real_; }
    // Forward transform of samples(); returns the spectrum in CFft's packed layout (bin k at
    // 2k, 2k + 1; the Nyquist value in place of bin 0's imaginary part).
    float* forward() {
        fftwf_execute(forward_);
        half_[0][1] = half_[kSpan / 2][0];
        return &half_[0][0];
    }
    // Inverse of the packed spectrum into samples(), 512 times too large.
    void inverse() {
        half_[kSpan / 2][0] = half_[0][1];
        half_[kSpan / 2][1] = half_[0][1] = 0.0f;
        fftwf_execute(inverse_);
    }

  private:
    void release() {
        if (forward_) fftwf_destroy_plan(forward_);
        if (inverse_) fftwf_destroy_plan(inverse_);
        fftwf_free(real_);
        fftwf_free(half_);
        forward_ = inverse_ = nullptr;
        real_ = nullptr;
        half_ = nullptr;
    }
    float* real_;
    fftwf_complex* half_;
    fftwf_plan forward_ = nullptr;
    fftwf_plan inverse_ = nullptr;
};

// Window w(i) = 1 - cos(2 pi i / 512) and the overlap-add weights of a filtered block, with
// the inverse window and the 1/512 of the inverse transform folded in. Of each block, samples
// 64..255 go into the current hop's output (rising over 64..191), samples 256..447 start the
// next one (falling over 320..447); the outer 64 on each side are dropped, and the ramps of
// neighbouring blocks sum to one.
struct OverlapWeights {
    float window[kSpan];
    float current[kHop]; // for samples 0..255 (0..63 unused)
    float next[kHop];    // for samples 256..511 (448..511 unused)
    OverlapWeights() {
        const double pi = 4.0 * std::atan(1.0);
        double w[kSpan];
        for (int i = 0; i < kSpan; ++i)
            window[i] = static_cast<float>(w[i] = 1.0 - std::cos(2.0 * pi * i / kSpan));
        auto unwindow = [&](int i) { return 1.0 / (kSpan * w[i]); };
        for (int k = 0; k < kHop; ++k) {
            current[k] = static_cast<float>(k < 64    ? 0.0
                                            : k < 192 ? (k - 64) / 128.0 * unwindow(k)
                                                      : unwindow(k));
            next[k] = static_cast<float>(k < 64    ? unwindow(kHop + k)
                                         : k < 192 ? (192 - k) / 128.0 * unwindow(kHop + k)
                                                   : 0.0);
        }
    }
};

PassResult spectral(const Pass& pass, int mode, int hissLevel) {
    FilterContext& ctx = pass.ctx;
    SpectralTables& tables = ctx.state.tables;
    hissLevel = std::clamp(hissLevel, 0, 3);
    tables.FilterMode = mode;
    SetHumWeights(tables, (mode & kModeHum) != 0, hissLevel);
    if (mode & (kModeHiss | kModeHum)) {
        if (!EnsureProfileBlock(ctx) ||
            !MeasureProfile(ctx.store, ctx.fft, ctx.state, pass.options.profileFromSource))
            tables.Profile = {}; // nothing to subtract
        ComputeThresholds(tables, hissLevel);
    }
    SpectralGain gain(tables, mode, hissLevel);
    BlockTransform transform;
    static const OverlapWeights weights;

    // Per channel the output accumulator of the current hop and the start of the next; they
    // swap roles every hop. Truncated once, on output, so that a pass with unity gains returns
    // its input to within one unit.
    float acc[2][2][kHop] = {};
    int cur = 0;
    auto hop = [&](const int16_t* frames, int16_t* out) {
        float* x = transform.samples();
        for (int ch = 0; ch < 2; ++ch) {
            for (int i = 0; i < kSpan; ++i) x[i] = frames[2 * i + ch] * weights.window[i];
            gain.Apply(transform.forward(), ch);
            transform.inverse();
            float* c = acc[ch][cur];
            float* n = acc[ch][1 - cur];
            for (int k = 64; k < kHop; ++k) c[k] += x[k] * weights.current[k];
            for (int k = 0; k < 192; ++k) n[k] = x[kHop + k] * weights.next[k];
            for (int k = 192; k < kHop; ++k) n[k] = 0.0f;
            if (out)
                for (int k = 0; k < kHop; ++k) out[2 * k + ch] = toSample(c[k]);
        }
        cur = 1 - cur;
    };

    // The first frames of the range overlap a block that starts one hop earlier (audio before
    // the range, or silence before the data): its output is only the start of the first hop.
    std::vector<int16_t> input(static_cast<size_t>(kPassFrames + kHop) * 2);
    std::vector<int16_t> output(static_cast<size_t>(kPassFrames) * 2);
    pass.io.read(pass.range.start - kHop * 4, input.data(), kSpan * 4);
    hop(input.data(), nullptr);

    pass.begin();
    for (int64_t pos = pass.range.start; pos < pass.range.end; pos += kBlockSize) {
        if (pass.stopAt(pos)) return cancelledAt(pos);
        const int64_t bytes = std::min<int64_t>(kBlockSize, pass.range.end - pos);
        const int hops = static_cast<int>((bytes / 4 + kHop - 1) / kHop);
        // Frames past the range are read (never written) so the last hops see real audio.
        pass.io.read(pos, input.data(), (int64_t{hops} * kHop + kHop) * 4);
        for (int h = 0; h < hops; ++h)
            hop(input.data() + 2 * h * kHop, output.data() + 2 * h * kHop);
        pass.io.write(pos, output.data(), bytes);
    }
    return {};
}

void remake(FilterContext& ctx) {
    if (!ctx.hasCorrections || !ctx.remakeCorrections) return;
    ctx.ui.setProgressText(0, "Making Corrections...");
    ctx.remakeCorrections();
}

FilterRange wholeAudio(const WaveLayout& l) {
    return {l.dataStart, l.dataStart + int64_t{l.dataLength()} / 4 * 4};
}

// A range brought onto the frame grid and inside the audio, so that no pass writes a partial
// frame or outside the samples.
FilterRange onFrames(const WaveLayout& l, FilterRange r) {
    FilterRange out;
    out.start = std::clamp<int64_t>(r.start, l.dataStart, l.dataEnd);
    out.start = std::max<int64_t>(l.dataStart, l.toFrame(static_cast<int32_t>(out.start)));
    const int64_t end = std::clamp<int64_t>(r.end, out.start, l.dataEnd);
    out.end = out.start + (end - out.start) / 4 * 4;
    return out;
}

std::string spectralLabel(const EffectiveFilters& e, const std::string& graphicText) {
    std::string name;
    if (e.hiss > 0) name += "/Hiss";
    if (e.hum) name += "/Hum";
    if (e.graphic) name += "/Graphic" + graphicText;
    return name.substr(1) + " Filter";
}

} // namespace

FilterRange CurrentRange(const FilterContext& ctx) {
    const WaveLayout& l = ctx.layout();
    if (ctx.blockStart > 0 && ctx.blockEnd > ctx.blockStart)
        return onFrames(l, {ctx.blockStart, ctx.blockEnd});
    return wholeAudio(l);
}

EffectiveFilters Effective(const FilterSettings& s, bool profileExists) {
    EffectiveFilters e;
    e.rumble = s.RumbleOn;
    e.hum = s.HumOn && profileExists;
    e.hiss = s.HissOn && profileExists ? std::clamp(s.HissLevel, 0, 3) : 0;
    e.treble = s.TrebleOn ? std::clamp(s.TrebleLevel, -3, 3) : 0;
    e.graphic = s.GraphicOn && !s.GraphicName.empty();
    e.graphicName = e.graphic ? s.GraphicName : std::string();
    return e;
}

EffectiveFilters EffectiveFromApplied(const AppliedFilters& a) {
    EffectiveFilters e;
    e.rumble = a.AppliedRumble;
    e.hum = a.AppliedHum;
    e.hiss = std::clamp(a.AppliedHiss, 0, 3);
    e.treble = std::clamp(a.AppliedTreble, -3, 3);
    e.graphic = !a.AppliedGraphic.empty();
    e.graphicName = a.AppliedGraphic;
    return e;
}

PassResult RunHighPass(FilterContext& ctx, FilterRange range, const PassOptions& options) {
    SampleIo io(ctx.store);
    return highPass(Pass{ctx, io, onFrames(ctx.layout(), range), options});
}

PassResult RunSpectralFilter(FilterContext& ctx, FilterRange range, int mode, int hissLevel,
                             const PassOptions& options) {
    SampleIo io(ctx.store);
    return spectral(Pass{ctx, io, onFrames(ctx.layout(), range), options}, mode, hissLevel);
}

PassResult RunTreble(FilterContext& ctx, FilterRange range, int level, const PassOptions& options) {
    level = std::clamp(level, -3, 3);
    if (level == 0) return {};
    SampleIo io(ctx.store);
    Pass pass{ctx, io, onFrames(ctx.layout(), range), options};
    pass.offerCancel = ctx.scanned;
    return treble(pass, level);
}

void RestoreUnfiltered(FilterContext& ctx, int64_t upTo) {
    const WaveLayout& l = ctx.layout();
    const int64_t end =
        upTo == kAllAudio
            ? l.dataEnd
            : std::min<int64_t>(l.dataEnd, std::max<int64_t>(upTo, l.dataStart) + kBlockSize);
    ctx.ui.setCancelEnabled(false);
    ctx.ui.setProgressRange(l.dataStart, end);
    std::vector<int16_t> buffer(kBlockSize / 2);
    for (int64_t pos = l.dataStart; pos < end; pos += kBlockSize) {
        const size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, end - pos) / 4 * 4);
        ctx.store.readSourceWithGains(pos, buffer.data(), bytes);
        ctx.store.writeWorking(pos, buffer.data(), bytes);
        ctx.ui.setProgressPosition(pos);
        ctx.ui.pumpAndTakeCancel(); // nothing to cancel: a half-restored wave helps nobody
    }
    ctx.ui.setCancelEnabled(true);
    ctx.state.applied = {};
    ctx.state.levels.MaxSample = -1;
    ctx.tellFiltered(false);
}

FilterRunResult ApplyFilters(FilterContext& ctx) {
    FilterState& st = ctx.state;
    FilterSettings& s = st.settings;
    s.HissLevel = std::clamp(s.HissLevel, 0, 3);
    s.TrebleLevel = std::clamp(s.TrebleLevel, -3, 3);
    const EffectiveFilters e = Effective(s, s.hasProfile());
    if (ctx.settingsStore) set(*ctx.settingsStore, settings::kSubtractor, s.HissLevel);
    st.levels.MaxSample = -1;
    const bool restoreFirst = st.applied.Filtered && s.ApplyMode == FilterApply::ReplaceExisting;

    std::vector<std::string> tasks;
    if (restoreFirst) {
        tasks.push_back("Remove existing filters");
        if (ctx.hasCorrections) tasks.push_back("Recover Corrections");
    }
    for (const std::string& label : PassLabels(e)) tasks.push_back(label);

    ProgressScope progress(ctx.ui, tasks);
    ctx.ui.setProgressTitle("Applying Filters");
    int task = 0;
    if (restoreFirst) {
        ctx.ui.setCurrentTask(task++);
        RestoreUnfiltered(ctx);
        if (ctx.hasCorrections) {
            ctx.ui.setCurrentTask(task++);
            remake(ctx);
        }
    }

    AppliedFilters& a = st.applied;
    a.AppliedRumble |= e.rumble;
    a.AppliedHum |= e.hum;
    a.AppliedHiss = std::min(a.AppliedHiss + e.hiss, 3);
    a.AppliedTreble = std::clamp(a.AppliedTreble + e.treble, -3, 3);
    if (e.graphic) a.AppliedGraphic = e.graphicName;

    const FilterRange range = CurrentRange(ctx);
    const PassOptions options;
    PassResult r;
    auto completed = [&] {
        a.Filtered = true;
        ctx.tellFiltered(true);
        ++task;
    };
    if (e.highPass()) {
        ctx.ui.setCurrentTask(task);
        r = RunHighPass(ctx, range, options);
        if (!r.cancelled) completed();
    }
    if (!r.cancelled && e.spectral()) {
        ctx.ui.setCurrentTask(task);
        r = RunSpectralFilter(ctx, range, e.mode(), e.hiss, options);
        if (!r.cancelled) completed();
    }
    if (!r.cancelled && e.treble != 0) {
        ctx.ui.setCurrentTask(task);
        r = RunTreble(ctx, range, e.treble, options);
        if (!r.cancelled) completed();
    }

    if (r.cancelled) {
        ctx.ui.setTaskText(task, "Operation Cancelled");
        ctx.ui.markTask(task);
        ctx.ui.setTaskText(task + 1, "Recover Waveform");
        if (ctx.hasCorrections) ctx.ui.setTaskText(task + 2, "Recover Corrections");
        ctx.ui.setCurrentTask(task + 1);
        if (ctx.hasCorrections || a.Filtered) {
            RestoreUnfiltered(ctx);
            if (ctx.hasCorrections) {
                ctx.ui.setCurrentTask(task + 2);
                remake(ctx);
            }
        } else {
            RestoreUnfiltered(ctx, r.cancelPosition);
        }
    }
    ctx.markModified();
    FilterRunResult result;
    result.cancelled = r.cancelled;
    return result;
}

bool RemoveFilteringCommand(FilterContext& ctx) {
    if (!affirmative(ctx.ui.ask("All filtering will be removed and the unfiltered waveform will be "
                                "restored.\nReally remove filtering?",
                                "Tarnival", Buttons::OkCancel)))
        return false;
    std::vector<std::string> tasks{"Remove existing filters"};
    if (ctx.hasCorrections) tasks.push_back("Recover Corrections");
    ProgressScope progress(ctx.ui, tasks);
    ctx.ui.setCurrentTask(0);
    RestoreUnfiltered(ctx);
    if (ctx.hasCorrections) {
        ctx.ui.setCurrentTask(1);
        remake(ctx);
    }
    ctx.markModified();
    return true;
}

bool RunBatchFilters(FilterContext& ctx) {
    FilterSettings& s = ctx.state.settings;
    const bool wantsProfile = (s.HissOn && s.HissLevel > 0) || s.HumOn;
    const bool profile = wantsProfile && EnsureProfileBlock(ctx);
    const EffectiveFilters e = Effective(s, profile);
    auto log = [&](const std::string& line) {
        if (ctx.batchLog) ctx.batchLog(line);
    };
    PassOptions options;
    options.silent = true;
    options.profileFromSource = true;
    const FilterRange range = CurrentRange(ctx);
    AppliedFilters& a = ctx.state.applied;
    ctx.state.levels.MaxSample = -1;

    if (e.highPass()) {
        log(e.rumble ? "\t\tRumble Filter\r\n" : "\t\tPre-Filter\r\n");
        if (RunHighPass(ctx, range, options).cancelled) return false;
        a.Filtered = true;
        a.AppliedRumble |= e.rumble;
    }
    if (e.spectral()) {
        log("\t\t" + spectralLabel(e, " (" + e.graphicName + ")") + "\r\n");
        if (RunSpectralFilter(ctx, range, e.mode(), e.hiss, options).cancelled) return false;
        a.Filtered = true;
        a.AppliedHum |= e.hum;
        a.AppliedHiss = std::min(a.AppliedHiss + e.hiss, 3);
        if (e.graphic) a.AppliedGraphic = e.graphicName;
    }
    if (e.treble != 0) {
        log(e.treble < 1 ? "\t\tTreble Cut\r\n" : "\t\tTreble Lift\r\n");
        if (RunTreble(ctx, range, e.treble, options).cancelled) return false;
        a.Filtered = true;
        a.AppliedTreble = std::clamp(a.AppliedTreble + e.treble, -3, 3);
    }
    if (a.Filtered) ctx.tellFiltered(true);
    return true;
}

FilterRange TestStretch(const WaveLayout& l, int64_t position, bool twentySeconds) {
    const int64_t length = std::min<int64_t>(twentySeconds ? 3520000 : 704000, 5120000);
    return onFrames(l, {position, position + length});
}

std::vector<int16_t> FilterTest(FilterContext& ctx, FilterRange stretch,
                                const EffectiveFilters& e) {
    stretch = onFrames(ctx.layout(), stretch);
    BufferIo io(ctx.store, stretch);
    PassOptions options;
    options.silent = true;
    auto run = [&](auto&& body) {
        Pass pass{ctx, io, stretch, options};
        pass.interruptible = false;
        body(pass);
    };
    if (e.highPass()) run([](const Pass& p) { highPass(p); });
    if (e.spectral()) run([&](const Pass& p) { spectral(p, e.mode(), e.hiss); });
    if (e.treble != 0) run([&](const Pass& p) { treble(p, std::clamp(e.treble, -3, 3)); });
    return io.take();
}

TapeHissResult ApplyTapeHiss(FilterContext& ctx, int hissLevel) {
    TapeHissResult result;
    hissLevel = std::min(hissLevel, 3);
    if (hissLevel <= 0) return result;
    if (!EnsureProfileBlock(ctx)) {
        ctx.ui.message("The Hiss Filter is disabled because a noise profile could not be "
                       "identified.");
        return result;
    }
    result.profileFound = true;
    FilterState& st = ctx.state;
    st.settings.HissOn = true;
    st.settings.HissLevel = hissLevel;
    st.levels.MaxSample = -1;
    PassOptions options;
    options.cancelQuestion = kTapeHissCancelQuestion;
    const PassResult r =
        RunSpectralFilter(ctx, wholeAudio(ctx.layout()), kModeHiss, hissLevel, options);
    if (r.cancelled) {
        result.cancelled = true;
        result.cancelPosition = r.cancelPosition;
        return result;
    }
    st.applied.AppliedHiss = std::min(st.applied.AppliedHiss + hissLevel, 3);
    st.applied.Filtered = true;
    ctx.tellFiltered(true);
    result.filtered = true;
    return result;
}

std::vector<std::string> PassLabels(const EffectiveFilters& e) {
    std::vector<std::string> labels;
    if (e.rumble)
        labels.push_back("Rumble Filter");
    else if (e.hum)
        labels.push_back("Pre-Filter");
    if (e.spectral()) labels.push_back(spectralLabel(e, ""));
    if (e.treble != 0) labels.push_back(e.treble < 1 ? "Treble Cut" : "Treble Lift");
    return labels;
}

std::string AppliedFiltersSummary(const AppliedFilters& a) {
    std::string items;
    if (a.AppliedRumble) items += "Rumble, ";
    if (a.AppliedHum) items += "Hum, ";
    if (a.AppliedHiss > 0) items += "Hiss, ";
    if (!a.AppliedGraphic.empty()) items += "Graphic - " + a.AppliedGraphic + ", ";
    if (a.AppliedTreble != 0) items += "Treble, ";
    if (items.empty()) return "Currently Applied Filters:\nNone";
    items.replace(items.size() - 2, 2, ".");
    return "Currently Applied Filters:\n" + items;
}

std::string AppliedFiltersReport(const AppliedFilters& a) {
    std::string text = "Currently Applied Filters:\n";
    std::string lines;
    if (a.AppliedRumble) lines += "\tRumble\n";
    if (a.AppliedHum) lines += "\tHum\n";
    if (a.AppliedHiss > 0) lines += "\tHiss\n";
    if (!a.AppliedGraphic.empty()) lines += "\tGraphic - " + a.AppliedGraphic + "\n";
    text += lines.empty() ? "\tNone\n" : lines;
    if (a.AppliedTreble == 0) return text + "\nTreble Control: None\n";
    char treble[48];
    std::snprintf(treble, sizeof treble, "\nTreble Control: %+ddB\n", 4 * a.AppliedTreble);
    return text + treble;
}

std::string HissCaption(int level) {
    if (level == 0) return "Hiss Reduction: Off";
    char text[48];
    std::snprintf(text, sizeof text, "Hiss Reduction: %ddB", 6 * level + 2);
    return text;
}

std::string TrebleCaption(int level) {
    if (level == 0) return "Treble Control: Off";
    char text[48];
    std::snprintf(text, sizeof text, "Treble Control: %+ddB", 4 * level);
    return text;
}

std::string BatchFilterSummary(const FilterSettings& s, const std::string& graphicName) {
    std::string text;
    char line[48];
    if (s.HissOn && s.HissLevel != 0) {
        std::snprintf(line, sizeof line, "\r\nHiss: %d", 6 * s.HissLevel + 2);
        text += line;
    }
    if (s.TrebleOn && s.TrebleLevel != 0) {
        std::snprintf(line, sizeof line, "\r\nTreble: %+d", 4 * s.TrebleLevel);
        text += line;
    }
    if (s.HumOn) text += "\r\nHum";
    if (s.RumbleOn) text += "\r\nRumble";
    if (s.GraphicOn) text += "\r\nGraphic - " + graphicName;
    return text.empty() ? "None" : text.substr(2);
}

} // namespace tarnival
