#include "scan/ClickDetector.h"

#include "document/CorrectionList.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "dsp/Dot.h"
#include "dsp/Fft.h"
#include "dsp/Levinson.h"
#include "scan/PreciseRepair.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace tarnival {

namespace {

constexpr int kSegmentSamples = 256;
// Segments closed in one block: the residuals run 2045 samples past the block.
constexpr int kSegments = (ClickDetector::kBlockSamples + 2045) / kSegmentSamples + 1;
constexpr int kSegmentSlack = 8;
constexpr int kLevelSegments = 15; // the level is the roughness of the 15th roughest residual
constexpr int kLastRescanSegment = 511;
constexpr int kAgcLeadBytes = 2248; // the AGC window ends shortly before the candidate
constexpr int kAgcSamples = 1024;
constexpr int kDiscriminatorBytes = 2048;
constexpr int32_t kDiffLimit = 30000;
constexpr double kTwoSevenths = 0.2857142857142857;
// A candidate is at most 292 bytes wide before it is accepted.
constexpr int kMaxCandidateFrames = 80;
constexpr int64_t kAttackBytes = 256 * 4; // the attack of a note that the onset guard found

constexpr std::array<int32_t, click_detail::kHistogramBins> kEdges = {
    8,   11,  15,  22,  31,   43,   62,   87,   125,  175,
    250, 350, 500, 700, 1000, 1400, 2000, 2800, 4000, INT32_MAX};

// Residuals of 16-bit samples stay below 65536, so the bin of every value fits one table.
const std::array<uint8_t, 65536>& binTable() {
    static const std::array<uint8_t, 65536> table = [] {
        std::array<uint8_t, 65536> t{};
        int b = 0;
        for (int r = 0; r < 65536; ++r) {
            while (r > kEdges[static_cast<size_t>(b)]) ++b;
            t[static_cast<size_t>(r)] = static_cast<uint8_t>(b);
        }
        return t;
    }();
    return table;
}

int32_t truncToInt(double v) {
    if (!(v > INT32_MIN)) return INT32_MIN; // also NaN
    if (v >= static_cast<double>(INT32_MAX)) return INT32_MAX;
    return static_cast<int32_t>(v);
}

int32_t floorDiv(int32_t a, int32_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

namespace click_detail {

int roughnessBin(int r) {
    return binTable()[static_cast<size_t>(std::clamp(r, 0, 65535))];
}

int32_t segmentLevel(const int32_t (&hist)[kHistogramBins]) {
    int n = kHistogramBins - 1;
    int32_t sum = hist[n];
    // A segment always holds far more than 15 residuals; the bound only keeps a short one safe.
    while (sum < kLevelSegments && n > 0) sum += hist[--n];
    if (n < 1) return 6;
    if (n == kHistogramBins - 1) return 4000;
    const int32_t above = sum - hist[n];
    const int32_t hi = kEdges[static_cast<size_t>(n)];
    const int32_t lo = kEdges[static_cast<size_t>(n - 1)];
    return hi - (hi - lo) * (kLevelSegments - above) / hist[n];
}

void smoothLevels(std::span<int32_t> seg, std::span<float> ratio, int last, int sensitivity,
                  int jump) {
    for (int s = 1; s <= last; ++s) {
        const size_t i = static_cast<size_t>(s);
        ratio[i - 1] = std::min({ratio[i - 1], ratio[i], ratio[i + 1]});
        int32_t L;
        if (sensitivity == 4)
            L = std::max(seg[i + 2], seg[i + 3]);
        else if (sensitivity == 5)
            L = seg[i + 2];
        else
            L = std::max({seg[i + 2], seg[i + 3], seg[i + 4], seg[i + 5]});
        if (seg[i] > L * jump)
            seg[i] = std::min(seg[i - 1], L);
        else if (seg[i] > 2 * seg[i - 1] && L < 2 * seg[i - 1])
            seg[i] = seg[i - 1];
    }
    seg[0] = seg[1];
}

void levelsToThresholds(std::span<int32_t> seg, std::span<float> ratio, int last, float F) {
    for (int s = 0; s <= last; ++s) {
        const size_t i = static_cast<size_t>(s);
        const int32_t t = truncToInt(static_cast<float>(seg[i]) * F);
        if (!(ratio[i] > 2.0f)) ratio[i] = 2.0f;
        const float scaled = static_cast<float>(t) * ratio[i];
        seg[i] = truncToInt(static_cast<double>(scaled) * 0.5);
    }
}

void adjustAccepted(Correction& c, float rms, bool narrow) {
    if (rms < 500.0f && c.width < 40) c.width += 8;
    if (c.magnitude > 50 && c.width > 100)
        c.width = 300;
    else if (c.magnitude > 30 && c.width != 300)
        c.width = 292;
    if (c.width >= 292) c.magnitude = std::max(c.magnitude, 30);
    if (narrow) c.width = floorDiv(floorDiv(c.width, 3), 4) * 4;
}

} // namespace click_detail

DetectorOptions DetectorOptions::fromSettings(const ScanSettings& s) {
    DetectorOptions o;
    o.differential = s.isDifferential();
    o.factors = deriveFactors(s.sensitivity, o.differential);
    o.agc = s.agc;
    o.discriminator = s.discriminator;
    o.minMagnitude = s.minMagnitude;
    o.narrow = s.isNarrow();
    o.method = s.method();
    return o;
}

ClickDetector::ClickDetector(CorrectionList& target, const WaveStore& store, CFft& fft,
                             UserInterface* ui, const DetectorOptions& options,
                             CorrectionList* counters)
    : target_(target), counters_(counters ? *counters : target), store_(store), fft_(fft), ui_(ui),
      options_(options), F_(options.factors.thresholdFactor), differential_(options.differential),
      residual_(kBufferSamples), seg_(kSegments + kSegmentSlack), ratio_(kSegments + kSegmentSlack),
      buried_(kSegments + kSegmentSlack) {
    // Settings come from a store the user can edit by hand: keep them in their ranges.
    options_.agc = std::clamp(options_.agc, 0, 3);
    options_.discriminator = std::clamp(options_.discriminator, 0, 3);
    options_.minMagnitude = std::clamp(options_.minMagnitude, 0, 10);
    if (differential_) diff_.resize(kBufferSamples);
    if (options_.method == RepairMethod::Precise) {
        buriedAt_.resize(kBufferSamples / 2);
        buriedAudio_.resize(kBufferSamples / 2);
        buriedSums_.resize(kBufferSamples / 2 + 1);
    }
    if (guardsOnsets()) onset_.resize(2 * (kOnsetLead + kMaxCandidateFrames + kOnsetTail));
    binTable();
}

void ClickDetector::beginScan() {
    target_.resetForScan();
    Correction candidate;
    candidate.pass = options_.blockRescan ? options_.newPass : 1;
    target_.setAtGrow(1, candidate);
    pendingEnergy_ = 0.0;
    lastShown_ = -1;
    lastOnset_ = kNoOnset;
}

bool ClickDetector::monoCheck(const int16_t* buffer, int validSamples) {
    const int frames = std::clamp(validSamples, 0, kBufferSamples) / 2;
    bool sound = false;
    for (int f = 0; f < frames; ++f) {
        const int16_t l = buffer[2 * f], r = buffer[2 * f + 1];
        if (l != r) return false;
        sound = sound || l != 0;
    }
    return sound;
}

void ClickDetector::switchToPerChannel() {
    if (!differential_) return;
    differential_ = false;
    F_ -= 1.0f;
}

int ClickDetector::clicksFound() const {
    return std::max(target_.count() - 2, 0);
}

void ClickDetector::scanBlock(int32_t G, const int16_t* buffer, int sampleCount,
                              bool bufferIsSource) {
    if (target_.count() < 2) beginScan();
    const int n = std::clamp(sampleCount, 0, kBlockSamples);
    const int16_t* x = buffer;
    if (differential_) {
        if (diff_.empty()) diff_.resize(kBufferSamples);
        for (int i = 0; i + 1 < kBufferSamples; i += 2) {
            const int32_t d =
                std::clamp(int32_t{buffer[i]} - buffer[i + 1], -kDiffLimit, kDiffLimit);
            diff_[static_cast<size_t>(i)] = diff_[static_cast<size_t>(i) + 1] =
                static_cast<int16_t>(d);
        }
        x = diff_.data();
    }
    x_ = x;
    G_ = G;
    sourceBlock_ = bufferIsSource ? buffer : nullptr;

    computeResiduals(x, n + 2045);
    const int m = n / kSegmentSamples;
    const int last = options_.blockRescan ? std::min(m, kLastRescanSegment) : m;
    click_detail::smoothLevels(seg_, ratio_, last, options_.factors.sensitivity,
                               options_.factors.jumpFactor);
    click_detail::levelsToThresholds(seg_, ratio_, last, F_);
    if (options_.method == RepairMethod::Precise) findBuriedClicks(x, last);
    search(G, n);
    sourceBlock_ = nullptr;

    pendingEnergy_ = energyAt(target_[target_.count() - 1].position);
    x_ = nullptr;
}

void ClickDetector::computeResiduals(const int16_t* x, int lastK) {
    const auto& bins = binTable();
    uint16_t* r = residual_.data();
    std::fill(std::begin(hist_), std::end(hist_), 0);
    auto residual = [x, r](int k) {
        const int32_t v = std::abs(x[k] - (x[k - 2] + x[k + 2]) / 2);
        r[k] = static_cast<uint16_t>(v);
        return v;
    };
    int k = 2;
    // Segment 0's peak starts afresh each block: the previous block's would only raise the first
    // threshold of this one.
    int peak = 0;
    for (;;) {
        // Residuals of the segment up to its closing index count into the level and the peak.
        const int closeK = (k & ~(kSegmentSamples - 1)) + 253;
        const int stop = std::min(closeK - 1, lastK);
        for (; k <= stop; ++k) {
            const int v = residual(k);
            ++hist_[bins[static_cast<size_t>(v)]];
            peak = std::max(peak, v);
        }
        if (k > lastK) break;
        residual(k); // the closing residual is examined but not counted
        closeSegment(k / kSegmentSamples, peak);
        peak = 0;
        ++k;
        // The two residuals after the close count into the next level only: the peak they would
        // raise belongs to the segment just closed.
        const int stop2 = std::min(k + 1, lastK);
        for (; k <= stop2; ++k) ++hist_[bins[static_cast<size_t>(residual(k))]];
        if (k > lastK) break;
    }
}

void ClickDetector::closeSegment(int s, int peak) {
    const int32_t level = click_detail::segmentLevel(hist_);
    seg_[static_cast<size_t>(s)] = level;
    ratio_[static_cast<size_t>(s)] = static_cast<float>(peak) / static_cast<float>(level);
    std::fill(std::begin(hist_), std::end(hist_), 0);
}

void ClickDetector::search(int32_t G, int n) {
    const uint16_t* r = residual_.data();
    for (int s = 0; s * kSegmentSamples <= n; ++s) {
        const int T = seg_[static_cast<size_t>(s)];
        const int kEnd = std::min(n, s * kSegmentSamples + kSegmentSamples - 1);
        const int kFrom = std::max(3, s * kSegmentSamples + 1);
        if (!buried_[static_cast<size_t>(s)]) {
            for (int k = kFrom; k <= kEnd; k += 2) {
                const int Z = std::max(r[k - 1], r[k]);
                if (Z > T) onFrame(static_cast<int32_t>(int64_t{G} + 2 * k - 2), magnitudeOf(Z, T));
            }
            continue;
        }
        // A buried click joins the candidates as a fair one: the repair decides what it is.
        for (int k = kFrom; k <= kEnd; k += 2) {
            const int Z = std::max(r[k - 1], r[k]);
            if (Z > T)
                onFrame(static_cast<int32_t>(int64_t{G} + 2 * k - 2), magnitudeOf(Z, T));
            else if (buriedAt_[static_cast<size_t>(k / 2)])
                onFrame(static_cast<int32_t>(int64_t{G} + 2 * k - 2), kBuriedMagnitude);
        }
    }
}

void ClickDetector::findBuriedClicks(const int16_t* x, int last) {
    // Where a click of a few thousand may hide below the threshold; runs of such segments are
    // searched together.
    constexpr int32_t kLoud = 1500;
    constexpr int kSegmentFrames = kSegmentSamples / 2;
    std::fill(buried_.begin(), buried_.end(), uint8_t{0});
    for (int s = 0; s <= last;) {
        if (seg_[static_cast<size_t>(s)] < kLoud) {
            ++s;
            continue;
        }
        int s1 = s;
        while (s1 < last && seg_[static_cast<size_t>(s1) + 1] >= kLoud) ++s1;
        const int from = s * kSegmentFrames, to = (s1 + 1) * kSegmentFrames;
        std::fill(buriedAt_.begin() + from, buriedAt_.begin() + to, uint8_t{0});
        bool any = false;
        // In the difference channel both samples of a frame are the same.
        for (int ch = 0; ch < (differential_ ? 1 : 2); ++ch)
            any = findBuriedIn(x, ch, from, to) || any;
        if (any) std::fill(buried_.begin() + s, buried_.begin() + s1 + 1, uint8_t{1});
        s = s1 + 1;
    }
}

bool ClickDetector::findBuriedIn(const int16_t* x, int channel, int from, int to) {
    constexpr int P = kBuriedOrder;
    constexpr int Q = 4;                      // frames to a quarter of the window
    constexpr int kWindow = 2;                // quarters weighed together
    constexpr int kGap = 2, kBackground = 16; // quarters between them and the background
    constexpr int kReach = Q * (kGap + kBackground);
    // The frames about the run serve as model history and background.
    const int f0 = std::max(from - kReach - P, 0);
    const int f1 = std::min(to + kReach, kBufferSamples / 2);
    const int quarters = (f1 - f0 - P) / Q;
    if (quarters < 2 * (kGap + kBackground) + kWindow) return false;
    const int n = P + Q * quarters;
    float* xs = buriedAudio_.data();
    for (int i = 0; i < n; ++i) xs[i] = x[2 * (f0 + i) + channel];

    // A short whitening model of the run takes out what it predicts (tones, the bass under a
    // drum hit), so that a click stands out of the noise that is left.
    // Its fit reads a quarter of the run, in pieces spread over it: plenty for so few poles.
    constexpr int kPiece = 256, kStride = 4 * kPiece;
    std::array<double, P + 1> r{}, a{};
    std::array<double, 2 * (P + 1)> scratch;
    for (int start = P; start < n; start += kStride) {
        const int length = std::min(kPiece, n - start);
        for (int k = 0; k <= P; ++k)
            r[static_cast<size_t>(k)] += dotFloats(xs + start, xs + start - k, length);
    }
    if (!levinsonDurbin(r.data(), r[0] * (1.0 + 1e-6) + 1.0, P, a.data(), scratch.data()))
        return false;

    // The squared prediction errors summed by quarters, then run together: sums[j] covers the
    // quarters before j.
    Floats taps[P + 1];
    for (int k = 0; k <= P; ++k) {
        const float t = static_cast<float>(a[static_cast<size_t>(k)]);
        taps[k] = Floats{t, t, t, t};
    }
    double* sums = buriedSums_.data();
    sums[0] = 0;
    for (int j = 0; j < quarters; ++j) {
        const float* at = xs + P + Q * j;
        Floats e = floats(at);
        for (int k = 1; k <= P; ++k) e += taps[k] * floats(at - k);
        e *= e;
        sums[j + 1] = sums[j] + double{e[0] + e[1] + e[2] + e[3]};
    }
    auto sum = [sums](int j0, int j1) { return sums[j1] - sums[j0]; };
    const double level = kBuriedLevel * sum(0, quarters) / quarters * kWindow;

    // A window stands out of the run's noise and of the louder side around it: the attack of a
    // drum hit is followed by as loud a sound.
    bool found = false;
    const int jFrom = std::max((from - f0 - P) / Q, kGap + kBackground);
    const int jTo = std::min((to - f0 - P) / Q, quarters - kGap - kBackground) - kWindow;
    for (int j = jFrom; j <= jTo; ++j) {
        const double inside = sum(j, j + kWindow);
        if (!(inside > level)) continue;
        const int after = j + kWindow + kGap;
        const double around =
            std::max(sum(j - kGap - kBackground, j - kGap), sum(after, after + kBackground)) *
            kWindow / kBackground;
        if (!(inside > kBuriedStandOut * around)) continue;
        const auto first = buriedAt_.begin() + f0 + P + Q * j;
        std::fill(first, first + Q * kWindow, uint8_t{1});
        found = true;
    }
    return found;
}

int32_t ClickDetector::magnitudeOf(int Z, int T) const {
    // Thresholds are at least 6 * F; the guard only protects against a degenerate factor.
    const int divisor = std::max(T, 1);
    return truncToInt(static_cast<double>(static_cast<float>(Z) * F_) * kTwoSevenths / divisor);
}

void ClickDetector::onFrame(int32_t p, int32_t magnitude) {
    int index = target_.count() - 1;
    Correction* c = &target_[index];
    const int64_t reach = std::min<int64_t>(5 * int64_t{c->magnitude} + 16, 292);
    if (int64_t{p} - c->position >= reach || c->width < 0) {
        index = submit(false);
        c = &target_[index];
        c->position = p;
        c->magnitude = magnitude;
        c->width = 0;
        showCount();
        return;
    }
    c->magnitude = std::max(c->magnitude, magnitude);
    c->width = p - c->position;
    if (options_.blockRescan) {
        if (c->magnitude >= 30) c->pass = 0;
    } else {
        c->pass = c->magnitude < 100 ? 1 : 0;
    }
}

double ClickDetector::energyAt(int32_t position) const {
    if (!x_) return 0.0;
    const int64_t offset = std::max<int64_t>(int64_t{position} - G_ - kAgcLeadBytes, 2);
    const int64_t first = std::min<int64_t>(offset / 2, kBufferSamples - kAgcSamples);
    // Integer sums of 1024 squares stay far inside a double's exact range, so this equals a
    // floating accumulation while letting the loop vectorise.
    int64_t e = 0;
    for (int64_t i = first; i < first + kAgcSamples; ++i) e += int32_t{x_[i]} * x_[i];
    return static_cast<double>(e);
}

int ClickDetector::submit(bool afterLastBlock) {
    const int index = target_.count() - 1;
    Correction& c = target_[index];
    const WaveLayout& layout = store_.layout;
    if (c.position < layout.dataStart + kEdgeGuard || c.position > layout.dataEnd - kEdgeGuard)
        return index;
    if (options_.blockRescan &&
        (c.position < options_.blockStart || c.position > options_.blockEnd))
        return index;

    const int S = options_.factors.sensitivity;
    if (S == 2 && c.magnitude < 2) return index;
    if (S == 1 && c.magnitude < 3) return index;
    if (c.magnitude < options_.minMagnitude) return index;

    // The AGC test runs before the discriminator: both only drop, and it is far cheaper.
    const double energy = afterLastBlock ? pendingEnergy_ : energyAt(c.position);
    const float rms = static_cast<float>(std::sqrt(energy / kAgcSamples));
    if (static_cast<double>(static_cast<float>(options_.agc) * rms) * 0.001 > c.magnitude)
        return index;

    const int disc = options_.discriminator;
    if (S < 3 || disc != 0) {
        const double q = S < 3 ? 3.0 / (disc + 1) : 3.0 / disc;
        int16_t samples[kDiscriminatorBytes / 2];
        store_.readSource(int64_t{c.position} - kDiscriminatorBytes / 2, samples, sizeof samples);
        auto roughness = [&](int channel) {
            for (int i = 0; i < CFft::N; ++i) fft_.Buffer[i] = samples[2 * i + channel];
            return fft_.SpectralRoughness();
        };
        // Tonal in both channels means music, not a click.
        if (roughness(0) > q && roughness(1) > q) return index;
    }

    if (guardsOnsets()) {
        // The rough frames just after an onset are its attack, not clicks; a click there
        // stands out above them.
        const int64_t after = int64_t{c.position} - lastOnset_;
        if (after >= 0 && after < kAttackBytes && c.magnitude <= lastOnsetMagnitude_) return index;
        if (onsetAt(c)) {
            lastOnset_ = c.position;
            lastOnsetMagnitude_ = std::max(c.magnitude, 2);
            return index;
        }
    }

    c.position += floorDiv(c.width, 8) * 4;
    counters_.raiseBlockCounter(c.position);
    click_detail::adjustAccepted(c, rms, options_.narrow);
    // Precise repair only touches the samples it finds damaged, inside the span: a narrow
    // record would hide the tail of a wide click from it.
    if (options_.method == RepairMethod::Precise)
        c.width = std::max(c.width, DetectorOptions::kPreciseMinWidth);

    Correction fresh;
    fresh.pass = options_.blockRescan ? options_.newPass : 1;
    target_.setAtGrow(index + 1, fresh);
    return index + 1;
}

bool ClickDetector::onsetAt(const Correction& c) const {
    const WaveLayout& layout = store_.layout;
    const int frames = std::min(std::max(c.width, 0) / 4 + 1, kMaxCandidateFrames);
    const int64_t first = int64_t{c.position} - 4 * kOnsetLead;
    const int64_t want = 4 * (int64_t{kOnsetLead} + frames + kOnsetTail);
    const int64_t from = std::max<int64_t>(first, layout.dataStart);
    const int64_t to = std::min<int64_t>(first + want, layout.dataEnd);
    if (from >= to) return false;
    int16_t* into = onset_.data() + (from - first) / 2;
    // Most candidates lie inside the block being scanned: a read from the file for each one
    // was a sixth of the precise scan's time.
    if (sourceBlock_ && from >= G_ && to <= int64_t{G_} + 2 * kBufferSamples)
        std::memcpy(into, sourceBlock_ + (from - G_) / 2, static_cast<size_t>(to - from));
    else
        store_.readSource(from, into, static_cast<size_t>(to - from));
    return isMusicalOnset(onset_.data(), static_cast<int>((from - first) / 4),
                          static_cast<int>((to - first) / 4), kOnsetLead, kOnsetLead + frames);
}

void ClickDetector::finishScan() {
    if (target_.count() < 2) beginScan();
    const int index = submit(true);
    target_[index].position = 0;
}

void ClickDetector::showCount() {
    if (!ui_) return;
    const int found = target_.count() - 2;
    if (found == lastShown_) return;
    lastShown_ = found;
    ui_->setProgressText(0, "Clicks Found = " + std::to_string(found));
}

} // namespace tarnival
