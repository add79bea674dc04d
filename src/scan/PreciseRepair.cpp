#include "scan/PreciseRepair.h"

#include "document/WaveStore.h"
#include "scan/CorrectionGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarnival {

namespace {

constexpr int kSplit = 64; // flags further apart than this belong to separate disturbances

// Solves A x = b in place for a small symmetric positive-definite A (row-major n x n); b becomes
// x. False when A is not positive definite enough to trust.
bool choleskySolve(double* A, int n, double* b) {
    for (int j = 0; j < n; ++j) {
        double* rowJ = A + j * n;
        double d = rowJ[j];
        for (int k = 0; k < j; ++k) d -= rowJ[k] * rowJ[k];
        if (!(d > 0)) return false;
        d = std::sqrt(d);
        rowJ[j] = d;
        for (int i = j + 1; i < n; ++i) {
            double* rowI = A + i * n;
            double s = rowI[j];
            for (int k = 0; k < j; ++k) s -= rowI[k] * rowJ[k];
            rowI[j] = s / d;
        }
    }
    for (int i = 0; i < n; ++i) {
        double s = b[i];
        for (int k = 0; k < i; ++k) s -= A[i * n + k] * b[k];
        b[i] = s / A[i * n + i];
    }
    for (int i = n - 1; i >= 0; --i) {
        double s = b[i];
        for (int k = i + 1; k < n; ++k) s -= A[k * n + i] * b[k];
        b[i] = s / A[i * n + i];
    }
    return true;
}

// Sum of a[i] * b[i]; four running sums keep the multiply-adds independent.
double dot(const double* a, const double* b, int n) {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * b[i];
        s1 += a[i + 1] * b[i + 1];
        s2 += a[i + 2] * b[i + 2];
        s3 += a[i + 3] * b[i + 3];
    }
    for (; i < n; ++i) s0 += a[i] * b[i];
    return (s0 + s1) + (s2 + s3);
}

int16_t toSample(double v) {
    return static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
}

bool debugging() {
    static const bool on = std::getenv("PRECISE_DEBUG") != nullptr;
    return on;
}

} // namespace

int PreciseRepair::halfSpan(int32_t width) {
    const int b = CorrectionGenerator::sideFrames(width);
    return b < 8 ? 2 * b + 1 : b + 16;
}

int PreciseRepair::markedFrame(int channel, int i) const {
    return unknown_[static_cast<size_t>(channel)][static_cast<size_t>(i)] - centre_;
}

void PreciseRepair::loadChannel(int channel, int from, int to) {
    for (int i = from; i < to; ++i)
        x_[static_cast<size_t>(i)] = raw_[static_cast<size_t>(2 * i + channel)];
}

PreciseRepair::Outcome PreciseRepair::apply(const Correction& c, WaveStore& store) {
    const WaveLayout& lay = store.layout;
    const int dataFrames = lay.dataLength() / 4;
    const int cf = (c.position - lay.dataStart) / 4;
    const int H = halfSpan(c.width);
    centre_ = kMaxContext + kMaxHalf;
    marked_ = {0, 0};
    const int order = std::clamp(tuning_.order, 2, kMaxOrder);
    const int context = std::clamp(tuning_.context, 2 * order, kMaxContext);

    // Buffer index i holds frame cf - centre_ + i; only [validFrom, validTo) is read, and the
    // error filters reach the model order beyond the region on both sides.
    const int regionFrom = centre_ - H, regionTo = centre_ + H;
    const int dataFrom = centre_ - cf, dataTo = centre_ + dataFrames - cf;
    const int validFrom = std::max(regionFrom - kMaxContext, dataFrom);
    const int validTo = std::min(regionTo + kMaxContext, dataTo);
    if (validFrom > regionFrom - kMaxOrder || validTo < regionTo + kMaxOrder)
        return Outcome::Standard;
    auto framePos = [&](int index) {
        return static_cast<int64_t>(lay.dataStart) + 4 * (int64_t{cf} - centre_ + index);
    };
    store.readSourceWithGains(framePos(validFrom), raw_.data() + 2 * validFrom,
                              static_cast<size_t>(validTo - validFrom) * 4);
    store.readWorking(framePos(regionFrom), raw_.data() + 2 * regionFrom,
                      static_cast<size_t>(regionTo - regionFrom) * 4);
    if (debugging()) std::fprintf(stderr, "record frame %d width %d H %d\n", cf, c.width, H);

    const bool enabled[2] = {!(c.width & width_flags::kKeepLeft),
                             !(c.width & width_flags::kKeepRight)};
    const int fitFrom = std::max(regionFrom - context, validFrom);
    const int fitTo = std::min(regionTo + context, validTo);
    for (int ch = 0; ch < 2; ++ch) {
        if (!enabled[ch]) continue;
        loadChannel(ch, fitFrom, fitTo);
        if (!fit(detect_, order, fitFrom, fitTo, regionFrom, regionTo)) return Outcome::Standard;
        predictionErrors(detect_, regionFrom, regionTo);
        if (!mark(ch, regionFrom, regionTo, tuning_.threshold * detect_.rms))
            return Outcome::Standard;
    }
    if (marked_[0] == 0 && marked_[1] == 0) return Outcome::Clean;

    int first = kFrames, last = -1;
    for (int ch = 0; ch < 2; ++ch) {
        const int m = marked_[static_cast<size_t>(ch)];
        if (m == 0) continue;
        first = std::min(first, unknown_[static_cast<size_t>(ch)][0]);
        last = std::max(last, unknown_[static_cast<size_t>(ch)][static_cast<size_t>(m - 1)]);
    }
    if (tuning_.onsetGuard && isMusicalOnset(raw_.data(), validFrom, validTo, first, last + 1)) {
        marked_ = {0, 0};
        return Outcome::Clean;
    }

    for (int ch = 0; ch < 2; ++ch)
        if (marked_[static_cast<size_t>(ch)] > 0 && !interpolate(ch, validFrom, validTo))
            return Outcome::Standard;
    store.writeWorking(framePos(first), raw_.data() + 2 * first,
                       static_cast<size_t>(last + 1 - first) * 4);
    return Outcome::Repaired;
}

bool PreciseRepair::interpolate(int channel, int validFrom, int validTo) {
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
    const int order = std::clamp(
        std::max(tuning_.order, static_cast<int>(std::ceil(tuning_.orderPerSample * longest))), 2,
        kMaxOrder);
    const int context = std::clamp(std::max(tuning_.context, tuning_.contextPerOrder * order),
                                   2 * order, kMaxContext);
    const int gapFrom = u[0], gapTo = u[static_cast<size_t>(m - 1)] + 1;
    const int from = std::max(gapFrom - context, validFrom);
    const int to = std::min(gapTo + context, validTo);
    loadChannel(channel, from, to);
    // The model is fitted around the damage alone: the rest of the region is clean audio too.
    if (!fit(fill_, order, from, to, gapFrom, gapTo)) return false;
    if (!solve(fill_, u.data(), m)) return false;
    for (int i = 0; i < m; ++i) {
        const int at = u[static_cast<size_t>(i)];
        raw_[static_cast<size_t>(2 * at + channel)] = toSample(x_[static_cast<size_t>(at)]);
    }
    return true;
}

bool PreciseRepair::interpolateStretch(int16_t* frames, int count, int channel, int from, int to) {
    if (from < 0 || to > count || to - from < 1 || to - from > kMaxRun || count > kFrames)
        return false;
    std::copy(frames, frames + 2 * count, raw_.begin());
    auto& u = unknown_[static_cast<size_t>(channel)];
    marked_[static_cast<size_t>(channel)] = to - from;
    for (int i = from; i < to; ++i) u[static_cast<size_t>(i - from)] = i;
    if (!interpolate(channel, 0, count)) return false;
    for (int i = from; i < to; ++i)
        frames[2 * i + channel] = raw_[static_cast<size_t>(2 * i + channel)];
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
        // R[i][i+d] follows from R[i-1][i-1+d] by sliding the rows back by one.
        for (int d = 0; d <= P; ++d) {
            double v = dot(x + n0, x + n0 - d, n1 - n0 + 1);
            R[d] += v;
            for (int i = 1; i + d <= P; ++i) {
                v += x[n0 - i] * x[n0 - i - d] - x[n1 + 1 - i] * x[n1 + 1 - i - d];
                R[i * W + i + d] += v;
            }
        }
    };
    addPiece(from, gapFrom);
    addPiece(gapTo, to);
    if (rows < 4 * P) return false;
    auto r = [R, W](int i, int j) { return i <= j ? R[i * W + j] : R[j * W + i]; };

    double* A = normal_.data();
    double* a = model.coef.data() + 1;
    double trace = 0;
    for (int i = 1; i <= P; ++i) {
        for (int j = 1; j <= P; ++j) A[(i - 1) * P + (j - 1)] = r(i, j) + r(P - i, P - j);
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

void PreciseRepair::predictionErrors(const Model& model, int from, int to) {
    const double* x = x_.data();
    double* f = forward_.data();
    double* b = backward_.data();
    for (int n = from; n < to; ++n) f[n] = b[n] = x[n];
    for (int k = 1; k <= model.order; ++k) {
        const double ck = model.coef[static_cast<size_t>(k)];
        for (int n = from; n < to; ++n) {
            f[n] += ck * x[n - k];
            b[n] += ck * x[n + k];
        }
    }
}

bool PreciseRepair::mark(int channel, int from, int to, double limit) {
    auto& unknown = unknown_[static_cast<size_t>(channel)];
    int& count = marked_[static_cast<size_t>(channel)];
    count = 0;
    // A click starts where the forward error (predicting from the clean past) jumps and ends
    // where the backward error (predicting from the clean future) does; inside a smooth click
    // either may be small. Flags of either kind closer than kSplit belong to one disturbance.
    auto fwd = [&](int n) { return std::abs(forward_[static_cast<size_t>(n)]) > limit; };
    auto bwd = [&](int n) { return std::abs(backward_[static_cast<size_t>(n)]) > limit; };
    int n = from;
    while (n < to) {
        if (!fwd(n) && !bwd(n)) {
            ++n;
            continue;
        }
        const int groupFrom = n;
        int groupTo = n; // last flagged sample of the group
        for (int m = n + 1; m < to && m <= groupTo + kSplit; ++m)
            if (fwd(m) || bwd(m)) groupTo = m;
        n = groupTo + 1;
        int start = groupFrom, end = groupTo;
        while (start <= groupTo && !fwd(start)) ++start;
        while (end >= groupFrom && !bwd(end)) --end;
        if (debugging())
            std::fprintf(stderr, "  ch%d group %d..%d hull %d..%d rms %.1f\n", channel,
                         groupFrom - centre_, groupTo - centre_, start - centre_, end - centre_,
                         limit / tuning_.threshold);
        // Damage that reaches either end of the region is not contained in it: an onset or
        // sustained noise rather than a click.
        if (start > end || start == from || end == to - 1) continue;
        if (end - start + 1 > kMaxRun || count + (end - start + 1) > kMaxMarked) return false;
        for (int m = start; m <= end; ++m) unknown[static_cast<size_t>(count++)] = m;
    }
    return true;
}

// Least-squares autoregressive interpolation: the unknown samples take the values that minimise
// the forward prediction error over every equation they enter. x_ holds the channel; the
// unknowns (sorted buffer indices) are written into it.
bool PreciseRepair::solve(const Model& model, const int* u, int m) {
    const int P = model.order;
    const double* b = model.coef.data();
    for (int d = 0; d <= P; ++d) {
        double s = 0;
        for (int k = 0; k + d <= P; ++k) s += b[k] * b[k + d];
        autoc_[static_cast<size_t>(d)] = s;
    }

    double* x = x_.data();
    for (int i = 0; i < m; ++i) x[u[i]] = 0.0;
    const int first = u[0], last = u[m - 1];
    double* e = known_.data();
    for (int n = first; n <= last + P; ++n) e[n] = 0.0;
    for (int k = 0; k <= P; ++k)
        for (int n = first; n <= last + P; ++n) e[n] += b[k] * x[n - k];
    for (int i = 0; i < m; ++i) {
        double s = 0;
        for (int k = 0; k <= P; ++k) s += b[k] * e[u[i] + k];
        rhs_[static_cast<size_t>(i)] = -s;
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

bool isMusicalOnset(const int16_t* frames, int validFrom, int validTo, int from, int to) {
    constexpr int kGap = 8, kPre = 512, kNear = 128, kFar = 512;
    static_assert(kGap + kPre == kOnsetLead && kGap + kNear + kFar == kOnsetTail);
    constexpr double kRise = 4.0;    // 6 dB
    constexpr double kAudible = 1e4; // mean square of the near window: RMS 100
    struct Window {
        double level = 0, high = 0;
        int n = 0;
    };
    auto measure = [&](int a, int b, int ch) {
        Window w;
        a = std::max(a, validFrom + 1);
        b = std::min(b, validTo);
        for (int i = a; i < b; ++i) {
            const double v = frames[2 * i + ch];
            const double d = v - frames[2 * (i - 1) + ch];
            w.level += v * v;
            w.high += d * d;
            ++w.n;
        }
        if (w.n > 0) {
            w.level /= w.n;
            w.high /= w.n;
        }
        return w;
    };
    for (int ch = 0; ch < 2; ++ch) {
        const Window pre = measure(from - kGap - kPre, from - kGap, ch);
        const Window near = measure(to + kGap, to + kGap + kNear, ch);
        const Window far = measure(to + kGap + kNear, to + kGap + kNear + kFar, ch);
        if (pre.n < kPre / 4 || near.n < kNear / 2 || far.n < kFar / 4) return false;
        // Energy that rises, in both bands, and stays.
        if (!(near.level > kAudible && near.level > kRise * pre.level &&
              near.high > kRise * pre.high && far.level > kRise * pre.level))
            return false;
    }
    return true;
}

} // namespace tarnival
