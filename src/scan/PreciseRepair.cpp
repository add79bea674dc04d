#include "scan/PreciseRepair.h"

#include "document/WaveStore.h"
#include "dsp/Dot.h"
#include "dsp/Levinson.h"
#include "scan/CorrectionGenerator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tarnival {
namespace {

constexpr int kSplit = 64;     // flags further apart than this belong to separate disturbances
constexpr int kBridge = 8;     // ... and weak flags further apart than this
constexpr double kClear = 2.0; // a clear flag, in thresholds
// The tail of a click: where it differs from an interpolation by more than this share of its
// peak difference (and by kTailLimit thresholds), until kQuiet samples in a row do not.
constexpr double kTailShare = 0.2;
constexpr double kTailLimit = 1.0;
constexpr int kQuiet = 3;
constexpr int kFirstTrial = 8, kLongestTrial = 64; // samples interpolated past the run
constexpr int kShortestTail = 5; // a pulse found by its rise alone must fall for this long
constexpr int kEdge = 16;        // damage this close to an end of the region is not contained in it
constexpr int kShortestAttack = 8; // damage shorter than this is not checked for an onset
// An interpolation louder than twice the loudest clean sample within kGuardReach of it is a
// model that failed (a note's attack taken for damage), not a repair: the audio stays as it was.
constexpr int kGuardReach = 64;
constexpr double kGuardPeak = 2.0;
// Inside loud noise a click's samples may each stay below the clear level while together they
// stand out: kEnergyWindow samples whose mean squared error passes kEnergyLevel thresholds, and
// kStandOut times that of kBackground samples on the louder side of them, count as clear flags.
// The louder side keeps a note's attack out: the sound after it is as loud as the attack.
constexpr int kEnergyWindow = 8;
constexpr double kEnergyLevel = 0.6;
constexpr double kStandOut = 3.0;
constexpr int kBackground = 64, kBackgroundGap = 8;
constexpr int32_t kWeakMagnitude = 2; // detected magnitudes below this are weak
constexpr int kWeakSpan = 12;         // longest damage a weak detection may repair
constexpr int32_t kFairMagnitude = 3; // ... and below this, fair
constexpr int kFairSpan = 96;         // longest damage a fair detection may repair

// Solves A x = b in place for a small symmetric positive-definite A (row-major n x n, only its
// lower triangle read); b becomes x. False when A is not positive definite enough to trust.
bool choleskySolve(double* A, int n, double* b) {
    for (int j = 0; j < n; ++j) {
        double* rowJ = A + j * n;
        double d = rowJ[j] - dot(rowJ, rowJ, j);
        if (!(d > 0)) return false;
        d = std::sqrt(d);
        rowJ[j] = d;
        for (int i = j + 1; i < n; ++i) {
            double* rowI = A + i * n;
            rowI[j] = (rowI[j] - dot(rowI, rowJ, j)) / d;
        }
    }
    for (int i = 0; i < n; ++i) b[i] = (b[i] - dot(A + i * n, b, i)) / A[i * n + i];
    for (int i = n - 1; i >= 0; --i) {
        double s = b[i];
        for (int k = i + 1; k < n; ++k) s -= A[k * n + i] * b[k];
        b[i] = s / A[i * n + i];
    }
    return true;
}

// Adds the products x[n - i] * x[n - j] over the rows n = n0 .. n1 into the upper triangle of
// R ((P + 1) x (P + 1), row-major): one dot product per lag, then each diagonal follows from
// the one above it by sliding the rows back by one.
void addCovariance(const double* x, int n0, int n1, int P, double* R) {
    if (n1 < n0) return;
    const int W = P + 1;
    for (int d = 0; d <= P; ++d) {
        double v = dot(x + n0, x + n0 - d, n1 - n0 + 1);
        R[d] += v;
        for (int i = 1; i + d <= P; ++i) {
            v += x[n0 - i] * x[n0 - i - d] - x[n1 + 1 - i] * x[n1 + 1 - i - d];
            R[i * W + i + d] += v;
        }
    }
}

int16_t toSample(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

// What follows a stretch: kFollowing frames from kSkip after its end.
constexpr int kSkip = 16, kFollowing = 640;
static_assert(kSkip + kFollowing <= kOnsetTail);

// Whether the stretch [from, to) of interleaved stereo frames peaks at more than twice the
// loudest sample that follows it: the attack of a note is not several times louder than the
// note it starts. Frames at validTo or later are not read (false when they would be needed).
bool towersOverWhatFollows(const int16_t* frames, int from, int to, int validTo) {
    constexpr int kTower = 2;
    if (to + kSkip + kFollowing > validTo) return false;
    int inside = 0, following = 0;
    for (int i = 2 * from; i < 2 * to; ++i) inside = std::max(inside, std::abs(int{frames[i]}));
    for (int i = 2 * (to + kSkip); i < 2 * (to + kSkip + kFollowing); ++i)
        following = std::max(following, std::abs(int{frames[i]}));
    return inside > kTower * following;
}

} // namespace

int PreciseRepair::halfSpan(int32_t width) {
    const int b = CorrectionGenerator::sideFrames(width);
    return b < 8 ? 2 * b + 1 : b + 16;
}

void PreciseRepair::loadChannel(int channel, int from, int to) {
    for (int i = from; i < to; ++i)
        x_[static_cast<size_t>(i)] = raw_[static_cast<size_t>(2 * i + channel)];
}

bool PreciseRepair::load(const Correction& c, WaveStore& store) {
    const WaveLayout& lay = store.layout;
    const int dataFrames = lay.dataLength() / 4;
    const int cf = (c.position - lay.dataStart) / 4;
    const int H = halfSpan(c.width);
    centre_ = kMaxContext + kMaxHalf;
    marked_ = {0, 0};
    detect_[0].order = detect_[1].order = 0;
    const int context = std::clamp(tuning_.context, 2 * order(), kMaxContext);

    // Buffer index i holds frame cf - centre_ + i. The audio about the region is read now, more
    // of it when a wide run needs a larger model; the error filters and the onset test reach a
    // little beyond the region on both sides.
    regionFrom_ = centre_ - H;
    regionTo_ = centre_ + H;
    store_ = &store;
    base_ = static_cast<int64_t>(lay.dataStart) + 4 * (int64_t{cf} - centre_);
    firstFrame_ = cf - centre_;
    dataFrom_ = std::max(centre_ - cf, 0);
    dataTo_ = static_cast<int>(std::min<int64_t>(int64_t{centre_} + dataFrames - cf, kFrames));
    const int reach = std::max({context, kOnsetLead, kOnsetTail});
    if (dataFrom_ > regionFrom_ - reach || dataTo_ < regionTo_ + reach) return false;
    // One read for all that the fit and the onset test need; a wide run reads more later.
    loadedFrom_ = loadedTo_ = regionFrom_ - reach;
    extend(loadedFrom_, regionTo_ + reach);
    store.readWorking(base_ + 4 * int64_t{regionFrom_}, raw_.data() + 2 * regionFrom_,
                      static_cast<size_t>(regionTo_ - regionFrom_) * 4);
    return true;
}

PreciseRepair::Outcome PreciseRepair::apply(const Correction& c, WaveStore& store) {
    if (!load(c, store)) return Outcome::Standard;
    const int regionFrom = regionFrom_, regionTo = regionTo_;
    const int context = std::clamp(tuning_.context, 2 * order(), kMaxContext);
    const bool enabled[2] = {!(c.width & width_flags::kKeepLeft),
                             !(c.width & width_flags::kKeepRight)};
    const int fitFrom = std::max(regionFrom - context, loadedFrom_);
    const int fitTo = std::min(regionTo + context, loadedTo_);
    for (int ch = 0; ch < 2; ++ch) {
        if (!enabled[ch]) continue;
        loadChannel(ch, fitFrom, fitTo);
        Model& model = detect_[static_cast<size_t>(ch)];
        if (!fit(model, order(), fitFrom, fitTo, regionFrom, regionTo)) return Outcome::Standard;
        predictionErrors(model, regionFrom, regionTo);
        if (!mark(ch, regionFrom, regionTo, tuning_.threshold * model.rms)) {
            // Too wide to interpolate: a scratch goes the standard way, a note is left alone.
            marked_ = {0, 0};
            if (tuning_.onsetGuard && onsetAt(wideFrom_, wideTo_)) return Outcome::Clean;
            return Outcome::Standard;
        }
    }
    if (marked_[0] == 0 && marked_[1] == 0) return Outcome::Clean;

    const auto [first, last] = markedStretch();
    // Barely above the detector's threshold, a long stretch is more often the attack of a note
    // than a click; a little above it, one longer than most clicks is.
    const int span = last + 1 - first;
    const bool weak = c.magnitude >= 0 && c.magnitude < kWeakMagnitude && span > kWeakSpan;
    const bool fair = c.magnitude >= 0 && c.magnitude < kFairMagnitude && span > kFairSpan;
    // In loud passages the detector rates even large clicks weak: one that towers over what
    // follows it is repaired all the same.
    if ((weak || fair) && !towersOverWhatFollows(raw_.data(), first, last + 1, loadedTo_)) {
        marked_ = {0, 0};
        return Outcome::Clean;
    }
    // A few samples are a click whatever follows them; the attack of a note spans more.
    if (tuning_.onsetGuard && span >= kShortestAttack && onsetAt(first, last + 1)) {
        marked_ = {0, 0};
        return Outcome::Clean;
    }
    return replaceMarked();
}

PreciseRepair::Outcome PreciseRepair::applyKnown(const Correction& c, WaveStore& store,
                                                 std::span<const Damage> damage) {
    if (!load(c, store)) return Outcome::Standard;
    for (const Damage& d : damage) {
        const int from = d.frame - firstFrame_;
        if (from < regionFrom_ || from + d.frames > regionTo_) continue;
        for (int ch = 0; ch < 2; ++ch) {
            if (!(ch == 0 ? d.left : d.right)) continue;
            auto& u = unknown_[static_cast<size_t>(ch)];
            int& m = marked_[static_cast<size_t>(ch)];
            for (int f = from; f < from + d.frames && m < kMaxMarked; ++f)
                u[static_cast<size_t>(m++)] = f;
        }
    }
    if (marked_[0] == 0 && marked_[1] == 0) return Outcome::Clean;
    return replaceMarked();
}

std::pair<int, int> PreciseRepair::markedStretch() const {
    int first = kFrames, last = -1;
    for (int ch = 0; ch < 2; ++ch) {
        const int m = marked_[static_cast<size_t>(ch)];
        if (m == 0) continue;
        first = std::min(first, unknown_[static_cast<size_t>(ch)][0]);
        last = std::max(last, unknown_[static_cast<size_t>(ch)][static_cast<size_t>(m - 1)]);
    }
    return {first, last};
}

bool PreciseRepair::overshoots(int channel) const {
    const auto& u = unknown_[static_cast<size_t>(channel)];
    const int m = marked_[static_cast<size_t>(channel)];
    double around = 0, peak = 0;
    const int from = std::max(u[0] - kGuardReach, loadedFrom_);
    const int to = std::min(u[static_cast<size_t>(m - 1)] + kGuardReach, loadedTo_);
    for (int i = from, k = 0; i < to; ++i) {
        if (k < m && u[static_cast<size_t>(k)] == i) {
            peak = std::max(peak, std::abs(x_[static_cast<size_t>(i)]));
            ++k;
        } else {
            around = std::max(
                around, std::abs(static_cast<double>(raw_[static_cast<size_t>(2 * i + channel)])));
        }
    }
    return peak > kGuardPeak * around;
}

PreciseRepair::Outcome PreciseRepair::replaceMarked() {
    for (int ch = 0; ch < 2; ++ch) {
        if (marked_[static_cast<size_t>(ch)] == 0) continue;
        if (!interpolate(ch)) return Outcome::Standard;
        if (overshoots(ch)) return Outcome::Clean;
    }
    const auto [first, last] = markedStretch();
    store_->writeWorking(base_ + 4 * int64_t{first}, raw_.data() + 2 * first,
                         static_cast<size_t>(last + 1 - first) * 4);
    return Outcome::Repaired;
}

bool PreciseRepair::onsetAt(int from, int to) {
    extend(from - kOnsetLead, to + kOnsetTail);
    return isMusicalOnset(raw_.data(), loadedFrom_, loadedTo_, from, to);
}

void PreciseRepair::extend(int from, int to) {
    from = std::max(from, dataFrom_);
    to = std::min(to, dataTo_);
    if (!store_) return;
    if (from < loadedFrom_) {
        store_->readSourceWithGains(base_ + 4 * int64_t{from}, raw_.data() + 2 * from,
                                    static_cast<size_t>(loadedFrom_ - from) * 4);
        loadedFrom_ = from;
    }
    if (to > loadedTo_) {
        store_->readSourceWithGains(base_ + 4 * int64_t{loadedTo_}, raw_.data() + 2 * loadedTo_,
                                    static_cast<size_t>(to - loadedTo_) * 4);
        loadedTo_ = to;
    }
}

bool PreciseRepair::interpolate(int channel) {
    const auto& u = unknown_[static_cast<size_t>(channel)];
    const int m = marked_[static_cast<size_t>(channel)];
    // The longest run decides the model: long gaps need more poles and more audio to fit them.
    int longest = 0;
    for (int i = 0, runFrom = 0; i < m; ++i) {
        const bool ends =
            i + 1 == m || u[static_cast<size_t>(i + 1)] != u[static_cast<size_t>(i)] + 1;
        if (!ends) continue;
        longest = std::max(longest, i + 1 - runFrom);
        runFrom = i + 1;
    }
    const Model* model = fillModel(channel, u[0], u[static_cast<size_t>(m - 1)] + 1, longest);
    if (!model) return false;
    if (!solve(*model, u.data(), m)) return false;
    for (int i = 0; i < m; ++i) {
        const int at = u[static_cast<size_t>(i)];
        raw_[static_cast<size_t>(2 * at + channel)] = toSample(x_[static_cast<size_t>(at)]);
    }
    return true;
}

const PreciseRepair::Model* PreciseRepair::fillModel(int channel, int gapFrom, int gapTo,
                                                     int longest) {
    const bool windowed = longest >= tuning_.windowedRun;
    const int order =
        windowed
            ? std::clamp(static_cast<int>(std::ceil(tuning_.windowedOrderPerSample * longest)),
                         std::min(tuning_.order, kMaxOrder), kMaxOrder)
            : std::clamp(std::max(tuning_.order,
                                  static_cast<int>(std::ceil(tuning_.orderPerSample * longest))),
                         2, std::clamp(tuning_.maxFillOrder, 2, kMaxCovarianceOrder));
    const int context = windowed
                            ? std::clamp(tuning_.windowedContext, 2 * order, kMaxContext)
                            : std::clamp(std::max(tuning_.context, tuning_.contextPerOrder * order),
                                         2 * order, kMaxContext);
    extend(gapFrom - context, gapTo + context);
    const int from = std::max(gapFrom - context, loadedFrom_);
    const int to = std::min(gapTo + context, loadedTo_);
    loadChannel(channel, from, to);
    const Model* model = &detect_[static_cast<size_t>(channel)];
    if (!windowed && order == model->order) return model;
    // The model is fitted around the damage alone: the rest of the region is clean audio.
    const bool fitted = windowed ? fitWindowed(fill_, order, from, to, gapFrom, gapTo)
                                 : fit(fill_, order, from, to, gapFrom, gapTo);
    return fitted ? &fill_ : nullptr;
}

bool PreciseRepair::levinsonSolve(const double* t, int P, double* y, int m) {
    auto col = [t, P](int k) { return k <= P ? t[k] : 0.0; };
    // f solves T_n f = e_0 for the leading n x n block; by symmetry its reverse solves
    // T_n b = e_{n-1}. x solves T_n x = y[0 .. n-1].
    double* f = band_.data();
    double* g = band_.data() + kMaxMarked;
    double* x = band_.data() + 2 * kMaxMarked;
    if (!(col(0) > 0)) return false;
    f[0] = 1.0 / col(0);
    x[0] = y[0] / col(0);
    for (int n = 1; n < m; ++n) {
        double e = 0; // (T_{n+1} [f; 0])_n
        for (int i = 0; i < n; ++i) e += col(n - i) * f[i];
        const double d = 1.0 - e * e;
        if (!(d > 1e-15)) return false;
        // [f; 0] and [0; reverse f] combine into the next forward vector.
        for (int i = 0; i <= n; ++i) {
            const double fi = i < n ? f[i] : 0.0;
            const double bi = i > 0 ? f[n - i] : 0.0;
            g[i] = (fi - e * bi) / d;
        }
        std::copy(g, g + n + 1, f);
        double ex = 0; // (T_{n+1} [x; 0])_n
        for (int i = 0; i < n; ++i) ex += col(n - i) * x[i];
        x[n] = 0.0;
        const double r = y[n] - ex;
        for (int i = 0; i <= n; ++i) x[i] += r * f[n - i]; // the backward vector
    }
    std::copy(x, x + m, y);
    return true;
}

// Forward-backward least squares over the audio on both sides of the gap.
bool PreciseRepair::fit(Model& model, int P, int from, int to, int gapFrom, int gapTo) {
    const int W = P + 1;
    double* R = cov_.data();
    std::fill(R, R + W * W, 0.0);
    const double* x = x_.data();
    int rows = 0;
    auto addPiece = [&](int a, int b) {
        const int n0 = a + P, n1 = b - 1; // rows n0 .. n1 see x[n - P .. n] inside the piece
        if (n1 < n0) return;
        rows += n1 - n0 + 1;
        addCovariance(x, n0, n1, P, R);
    };
    addPiece(from, gapFrom);
    addPiece(gapTo, to);
    if (rows < 4 * P) return false;
    auto r = [R, W](int i, int j) { return i <= j ? R[i * W + j] : R[j * W + i]; };

    double* A = normal_.data();
    double* a = model.coef.data() + 1;
    double trace = 0;
    for (int i = 1; i <= P; ++i) {
        for (int j = 1; j <= i; ++j) A[(i - 1) * P + (j - 1)] = r(i, j) + r(P - i, P - j);
        a[i - 1] = r(i, 0) + r(P - i, P);
        trace += A[(i - 1) * P + (i - 1)];
    }
    // A touch of diagonal loading keeps pure tones (nearly singular) solvable.
    const double load = trace / P * 1e-9 + 1.0;
    for (int i = 0; i < P; ++i) A[i * P + i] += load;
    if (!choleskySolve(A, P, a)) return false;

    double energy = r(0, 0) + r(P, P);
    for (int k = 1; k <= P; ++k) energy -= a[k - 1] * (r(0, k) + r(P, P - k));
    model.order = P;
    model.coef[0] = 1.0;
    for (int k = 1; k <= P; ++k) model.coef[static_cast<size_t>(k)] = -a[k - 1];
    // Quantisation alone leaves about 0.3; never trust a residual below one step.
    model.rms = std::max(std::sqrt(std::max(energy, 0.0) / (2.0 * rows)), 1.0);
    return true;
}

bool PreciseRepair::fitWindowed(Model& model, int P, int from, int to, int gapFrom, int gapTo) {
    double* w = windowed_.data();
    int frames = 0;
    spectrum_.clear();
    for (const auto& [a, b] : {std::pair{from, gapFrom}, std::pair{gapTo, to}}) {
        const int n = b - a;
        if (n <= P) continue;
        frames += n;
        if (n != hannLength_) {
            for (int i = 0; i < n; ++i)
                hann_[static_cast<size_t>(i)] =
                    0.5 - 0.5 * std::cos(2 * std::numbers::pi * (i + 0.5) / n);
            hannLength_ = n;
        }
        for (int i = 0; i < n; ++i)
            w[i] = x_[static_cast<size_t>(a + i)] * hann_[static_cast<size_t>(i)];
        spectrum_.add(w, n);
    }
    spectrum_.lags(autoc_.data(), P);
    if (frames < 4 * P || !(autoc_[0] > 0)) return false;
    // A touch of white noise keeps pure tones (nearly singular) solvable.
    static_assert(2 * (kMaxOrder + 1) <= kMaxContext); // the recursion's scratch fits in w
    if (!levinsonDurbin(autoc_.data(), autoc_[0] * (1.0 + 1e-9) + 1.0, P, model.coef.data(), w))
        return false;
    model.order = P;
    model.rms = 1.0; // only the detector's residual sets thresholds
    return true;
}

void PreciseRepair::predictionErrors(const Model& model, int from, int to) {
    const int P = model.order;
    const double* c = model.coef.data();
    const double* x = x_.data();
    // Four samples at a time, every tap applied while their sums sit in registers: the region
    // is a few hundred samples and the filter a few dozen taps, too short for a dot product
    // per sample to pay.
    int n = from;
    for (; n + 4 <= to; n += 4) {
        Lanes f0{}, f1{}, b0{}, b1{};
        for (int k = 0; k <= P; ++k) {
            const Lanes fk{c[P - k], c[P - k]}, bk{c[k], c[k]};
            f0 += fk * lanes(x + n - P + k);
            f1 += fk * lanes(x + n + 2 - P + k);
            b0 += bk * lanes(x + n + k);
            b1 += bk * lanes(x + n + 2 + k);
        }
        std::memcpy(&forward_[static_cast<size_t>(n)], &f0, sizeof f0);
        std::memcpy(&forward_[static_cast<size_t>(n + 2)], &f1, sizeof f1);
        std::memcpy(&backward_[static_cast<size_t>(n)], &b0, sizeof b0);
        std::memcpy(&backward_[static_cast<size_t>(n + 2)], &b1, sizeof b1);
    }
    for (; n < to; ++n) {
        double f = 0, b = 0;
        for (int k = 0; k <= P; ++k) {
            f += c[P - k] * x[n - P + k];
            b += c[k] * x[n + k];
        }
        forward_[static_cast<size_t>(n)] = f;
        backward_[static_cast<size_t>(n)] = b;
    }
}

bool PreciseRepair::mark(int channel, int from, int to, double limit) {
    auto& unknown = unknown_[static_cast<size_t>(channel)];
    int& count = marked_[static_cast<size_t>(channel)];
    count = 0;
    // A click starts where the forward error (predicting from the clean past) jumps and ends
    // where the backward error (predicting from the clean future) does; inside a smooth click
    // either may dip. A disturbance is a run of clear flags (kClear thresholds) no more than
    // kSplit apart, widened by the weaker flags within kBridge of it: noise crosses the
    // threshold now and then, but rarely clearly, and a stray flag must not stretch a click.
    auto error = [&](int m) {
        return std::max(std::abs(forward_[static_cast<size_t>(m)]),
                        std::abs(backward_[static_cast<size_t>(m)]));
    };
    auto fwd = [&](int m) { return std::abs(forward_[static_cast<size_t>(m)]) > limit; };
    auto bwd = [&](int m) { return std::abs(backward_[static_cast<size_t>(m)]) > limit; };
    const double clear = kClear * limit;
    markLoudStretches(from, to, limit);
    auto seed = [&](int m) { return error(m) > clear || loud_[static_cast<size_t>(m)]; };
    int n = from;
    while (n < to) {
        if (!seed(n)) {
            ++n;
            continue;
        }
        int lo = n, hi = n;
        for (int m = n + 1; m < to && m <= hi + kSplit; ++m)
            if (seed(m)) hi = m;
        n = hi + 1;
        for (int m = lo - 1; m >= from && m >= lo - kBridge; --m)
            if (error(m) > limit) lo = m;
        for (int m = hi + 1; m < to && m <= hi + kBridge; ++m)
            if (error(m) > limit) hi = m;
        n = std::max(n, hi + 1);
        int start = lo, end = hi;
        while (start <= hi && !fwd(start)) ++start;
        while (end >= lo && !bwd(end)) --end;
        // In loud audio the model predicts a pulse's smooth fall from the future well enough that
        // its backward errors all come before its start. The tail search then finds where it
        // ends; a rise that does not fall back within it is an onset, not a pulse.
        const bool pulse = end < start && start <= hi;
        if (pulse) end = start;
        // Damage that reaches (nearly) either end of the region is not contained in it: an
        // onset or sustained noise rather than a click.
        if (start > end || start < from + kEdge || end >= to - kEdge) continue;
        if (end - start + 1 <= kMaxRun) end = tailEnd(channel, start, end, to - kEdge - 1, limit);
        if (pulse && end - start < kShortestTail) continue;
        // The sample after the run goes too: a click fades into the noise rather than stops,
        // and what is left of it there would pull the interpolation its way.
        end = std::min(end + 1, to - kEdge - 1);
        if (count > 0) start = std::max(start, unknown[static_cast<size_t>(count - 1)] + 1);
        n = std::max(n, end + 1);
        if (start > end) continue;
        if (end - start + 1 > kMaxRun || count + (end - start + 1) > kMaxMarked) {
            wideFrom_ = start;
            wideTo_ = end + 1;
            return false;
        }
        for (int m = start; m <= end; ++m) unknown[static_cast<size_t>(count++)] = m;
    }
    return true;
}

void PreciseRepair::markLoudStretches(int from, int to, double limit) {
    // Running sums of the squared errors: sums_[i] covers [from, i).
    double* sums = sums_.data();
    sums[from] = 0;
    for (int m = from; m < to; ++m) {
        const double e = std::max(std::abs(forward_[static_cast<size_t>(m)]),
                                  std::abs(backward_[static_cast<size_t>(m)]));
        sums[m + 1] = sums[m] + e * e;
    }
    // Only the region's own errors are known: a background is cut short at its ends.
    auto mean = [&](int a, int b) {
        a = std::clamp(a, from, to);
        b = std::clamp(b, from, to);
        return b > a ? (sums[b] - sums[a]) / (b - a) : 0.0;
    };
    std::fill(loud_.begin() + from, loud_.begin() + to, uint8_t{0});
    const double level = kEnergyLevel * kEnergyLevel * limit * limit * kEnergyWindow;
    auto above = [&](int m) { return sums[m + kEnergyWindow] - sums[m] > level; };
    int m = from;
    while (m + kEnergyWindow <= to) {
        if (!above(m)) {
            ++m;
            continue;
        }
        const int start = m;
        while (m + kEnergyWindow <= to && above(m)) ++m;
        const int end = m - 1 + kEnergyWindow;
        const double around =
            std::max(mean(start - kBackgroundGap - kBackground, start - kBackgroundGap),
                     mean(end + kBackgroundGap, end + kBackgroundGap + kBackground));
        if (mean(start, end) > kStandOut * around)
            std::fill(loud_.begin() + start, loud_.begin() + end, uint8_t{1});
    }
}

int PreciseRepair::tailEnd(int channel, int start, int end, int stop, double limit) {
    // A click that decays smoothly (a pulse, the ringing of a stylus) leaves prediction errors
    // only at its start: its tail is only seen against an interpolation of what should be there.
    // Interpolate a little past the run, and keep the stretch where the audio differs; widen
    // the trial while the difference reaches its end.
    double* saved = rhs_.data() + kMaxRun;
    int* ramp = ramp_.data();
    for (int trial = kFirstTrial;; trial *= 2) {
        const int last = std::min({end + trial, stop, start + kMaxRun - 1});
        if (last <= end) return end;
        const int m = last - start + 1;
        for (int i = 0; i < m; ++i) {
            ramp[i] = start + i;
            saved[i] = x_[static_cast<size_t>(start + i)];
        }
        // The first trial is short enough for the model that found the damage; a longer one
        // needs a model made for it.
        const Model* model = trial == kFirstTrial ? &detect_[static_cast<size_t>(channel)]
                                                  : fillModel(channel, start, last + 1, m);
        if (!model) return end;
        const bool ok = solve(*model, ramp, m);
        int found = end, quiet = 0;
        double peak = 0;
        for (int i = 0; i < m; ++i) {
            const double d = std::abs(saved[i] - x_[static_cast<size_t>(start + i)]);
            if (start + i <= end) {
                peak = std::max(peak, d);
            } else if (quiet < kQuiet) {
                if (d > std::max(kTailLimit * limit, kTailShare * peak)) {
                    found = start + i;
                    quiet = 0;
                } else {
                    ++quiet;
                }
            }
            x_[static_cast<size_t>(start + i)] = saved[i];
        }
        if (!ok) return end;
        // Ended well inside the trial: the audio the interpolation leans on after it is clean.
        if (found < last - trial / 3) return found;
        // Still different at the end of the longest trial: more likely the interpolation failing
        // than a tail.
        if (last == stop || m == kMaxRun || trial >= kLongestTrial) return end;
    }
}

// Least-squares autoregressive interpolation: the unknown samples take the values that minimise
// the forward prediction error over every equation they enter. x_ holds the channel; the
// unknowns (sorted buffer indices) are written into it.
bool PreciseRepair::solve(const Model& model, const int* u, int m) {
    const int P = model.order;
    const double* b = model.coef.data();
    for (int d = 0; d <= P; ++d) autoc_[static_cast<size_t>(d)] = dot(b, b + d, P + 1 - d);

    double* x = x_.data();
    for (int i = 0; i < m; ++i) x[u[i]] = 0.0;
    const int first = u[0], last = u[m - 1];
    double* e = known_.data();
    for (int n = first; n <= last + P; ++n) e[n] = 0.0;
    for (int k = 0; k <= P; ++k)
        for (int n = first; n <= last + P; ++n) e[n] += b[k] * x[n - k];
    for (int i = 0; i < m; ++i) rhs_[static_cast<size_t>(i)] = -dot(b, e + u[i], P + 1);

    if (u[m - 1] - u[0] == m - 1) {
        // One run: the matrix is Toeplitz, solved by the Levinson recursion in m squared.
        if (!levinsonSolve(autoc_.data(), P, rhs_.data(), m)) return false;
        for (int i = 0; i < m; ++i) x[u[i]] = rhs_[static_cast<size_t>(i)];
        return true;
    }
    // Banded Cholesky: entry (i, j) is autoc(u_i - u_j), zero beyond the model order, and the
    // positions are sorted, so row i reaches back at most P entries.
    const int W = P + 1;
    double* L = band_.data();
    auto at = [L, W](int i, int j) -> double& { return L[i * W + (i - j)]; };
    for (int i = 0; i < m; ++i) {
        const int j0 = std::max(0, i - P);
        for (int j = j0; j <= i; ++j) {
            const int gap = u[i] - u[j];
            double s = gap <= P ? autoc_[static_cast<size_t>(gap)] : 0.0;
            for (int k = std::max(j0, j - P); k < j; ++k) s -= at(i, k) * at(j, k);
            if (i == j) {
                if (!(s > 0)) return false;
                at(i, i) = std::sqrt(s);
            } else {
                at(i, j) = s / at(j, j);
            }
        }
    }
    double* y = rhs_.data();
    for (int i = 0; i < m; ++i) {
        double s = y[i];
        for (int k = std::max(0, i - P); k < i; ++k) s -= at(i, k) * y[k];
        y[i] = s / at(i, i);
    }
    for (int i = m - 1; i >= 0; --i) {
        double s = y[i];
        for (int k = i + 1; k <= std::min(m - 1, i + P); ++k) s -= at(k, i) * y[k];
        y[i] = s / at(i, i);
    }
    for (int i = 0; i < m; ++i) x[u[i]] = y[i];
    return true;
}

namespace {

// Order of the model that tells whether the audio after a stretch is what came before it.
constexpr int kOnsetOrder = 12;

} // namespace

bool isMusicalOnset(const int16_t* frames, int validFrom, int validTo, int from, int to) {
    constexpr int kGap = 8, kPre = 512, kNear = 128, kFar = 512;
    static_assert(kGap + kPre + kOnsetOrder == kOnsetLead && kNear + kFar == kFollowing);
    constexpr double kRise = 4.0;          // energy after over energy before: 6 dB
    constexpr double kInnovation = 3.0;    // prediction error just after over before
    constexpr double kInnovationFar = 1.5; // ... and a little later
    constexpr double kHold = 0.5;          // the other channel may fall by 3 dB at most
    constexpr double kSharp = 0.6;         // how much of the rise must come at once
    constexpr double kAudible = 1e4;       // mean square of the near window: RMS 100
    constexpr int P = kOnsetOrder;

    const int preFrom = from - kGap - kPre, preTo = from - kGap;
    const int nearFrom = to + kSkip, nearTo = nearFrom + kNear, farTo = nearTo + kFar;
    if (preFrom - P < validFrom || farTo > validTo) return false;
    // A click may tower over what follows it; a note's attack does not.
    if (towersOverWhatFollows(frames, from, to, validTo)) return false;

    const int base = preFrom - P; // xs holds the channels from P frames before the pre window
    const int n = farTo - base;
    constexpr int kMost = kOnsetLead + 2 * PreciseRepair::kMaxHalf + kOnsetTail;
    if (n > kMost) return false;
    double xs[2][kMost];
    for (int i = 0; i < n; ++i) {
        xs[0][i] = frames[2 * (base + i)];
        xs[1][i] = frames[2 * (base + i) + 1];
    }
    const double* x = xs[0];
    auto at = [&](int frame) { return frame - base; };
    auto level = [&](int a, int b) { return dot(x + at(a), x + at(a), b - a) / (b - a); };
    auto high = [&](int a, int b) {
        double e = 0;
        for (int i = at(a); i < at(b); ++i) e += (x[i] - x[i - 1]) * (x[i] - x[i - 1]);
        return e / (b - a);
    };

    // The levels first: a channel's rise only counts while the other holds, and only when it
    // is audible, so the model below is mostly not needed.
    double pre[2], near[2], far[2];
    bool holds[2];
    for (int ch = 0; ch < 2; ++ch) {
        x = xs[ch];
        pre[ch] = level(preFrom, preTo);
        near[ch] = level(nearFrom, nearTo);
        far[ch] = level(nearTo, farTo);
        holds[ch] = far[ch] > kHold * pre[ch];
    }
    // A note panned to one side rises in that channel; the other must not contradict it.
    for (int ch = 0; ch < 2; ++ch) {
        if (!holds[1 - ch] || !(near[ch] > kAudible && far[ch] > kAudible)) continue;
        x = xs[ch];
        // Energy that rises, in the upper band too, and stays up; or sound that the audio
        // before cannot predict, now and a little later.
        // Either must be sharp: up at once rather than swelling (a syllable or a crescendo
        // that happens to follow a click).
        const bool louder = near[ch] > kRise * pre[ch] && far[ch] > kRise * pre[ch] &&
                            high(nearFrom, nearTo) > kRise * high(preFrom, preTo) &&
                            near[ch] > kSharp * far[ch];
        if (louder) return true;
        // A small forward model of the audio before the stretch.
        double R[(P + 1) * (P + 1)] = {}, A[P * P], c[P];
        addCovariance(x, at(preFrom), at(preTo) - 1, P, R);
        for (int i = 0; i < P; ++i) {
            for (int j = i; j < P; ++j) A[i * P + j] = A[j * P + i] = R[(i + 1) * (P + 1) + j + 1];
            c[i] = R[i + 1];
        }
        double trace = 0;
        for (int i = 0; i < P; ++i) trace += A[i * P + i];
        for (int i = 0; i < P; ++i) A[i * P + i] += trace / P * 1e-6 + 1.0;
        if (!choleskySolve(A, P, c)) continue;
        // Before: the least-squares residual itself. After: the filter run over the audio, two
        // samples at a time with every tap applied while they sit in a register.
        double residual = R[0];
        for (int k = 0; k < P; ++k) residual -= c[k] * R[k + 1];
        const double before = std::max(residual, 0.0) / kPre + 1.0;
        // The window just after first: most candidates are told apart by it alone.
        double err[kNear + kFar];
        const double* after = x + at(nearFrom);
        auto filter = [&](int i0, int i1) {
            for (int i = i0; i < i1; i += 2) {
                Lanes e = lanes(after + i);
                for (int k = 0; k < P; ++k) e -= Lanes{c[k], c[k]} * lanes(after + i - 1 - k);
                std::memcpy(err + i, &e, sizeof e);
            }
        };
        static_assert(kNear % 2 == 0 && kFar % 2 == 0);
        filter(0, kNear);
        const double just = dot(err, err, kNear) / kNear + 1.0;
        if (!(just > kInnovation * before)) continue;
        filter(kNear, kNear + kFar);
        const double later = dot(err + kNear, err + kNear, kFar) / kFar + 1.0;
        if (later > kInnovationFar * before && just > kSharp * later) return true;
    }
    return false;
}

} // namespace tarnival
