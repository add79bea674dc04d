#include "scan/CorrectionGenerator.h"

#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "document/UserInterface.h"
#include "document/WaveStore.h"
#include "dsp/Fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace tarnival {

static_assert(std::endian::native == std::endian::little, "sample buffers are read as-is");

namespace {

constexpr int kWindow = CFft::N; // 512
constexpr int kPairs = kWindow / 2;
constexpr double kQuiet = 100.0;

std::string format(const char* pattern, int value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

} // namespace

bool CorrectionGenerator::isApplicable(const Correction& c) {
    using namespace magnitude_codes;
    if (c.width < 0 || c.magnitude == kSplice) return false;
    // A cue marker (also when hidden in a cut) only marks a point; its width field is not a
    // request to rewrite audio.
    return c.magnitude != kCue && c.magnitude != kCue - kHideOffset;
}

int CorrectionGenerator::sideFrames(int32_t width) {
    int w = std::min<int>(width & width_flags::kBytesMask, kMaxWidth);
    return 2 * (3 * w / 8) + 2;
}

int CorrectionGenerator::coreHalfWidth(int b) {
    int a = b / 6 + 3;
    return a == 40 ? 200 : a;
}

void CorrectionGenerator::setMethod(RepairMethod method) {
    method_ = method;
    counts_ = {};
    if (method_ == RepairMethod::Precise && !precise_) precise_ = std::make_unique<PreciseRepair>();
}

void CorrectionGenerator::setPreciseTuning(const PreciseRepair::Tuning& tuning) {
    precise_ = std::make_unique<PreciseRepair>(tuning);
}

bool CorrectionGenerator::Apply(const Correction& c, WaveStore& store) {
    if (!isApplicable(c)) return false;
    const WaveLayout& lay = store.layout;
    const int64_t start = static_cast<int64_t>(c.position) - kLeadBytes;
    if (start < lay.dataStart || start + kBytes > lay.dataEnd) return false;
    if ((c.position - lay.dataStart) % 4 != 0) return false;

    if (method_ == RepairMethod::Precise) {
        switch (precise_->apply(c, store)) {
        case PreciseRepair::Outcome::Repaired:
            ++counts_.repaired;
            return true;
        case PreciseRepair::Outcome::Clean:
            ++counts_.clean;
            return false;
        case PreciseRepair::Outcome::Standard:
            ++counts_.standard;
            break;
        }
    }

    store.readWorking(start, o_.data(), kBytes);
    n_ = o_;

    const int b = sideFrames(c.width);
    if (b < 8) {
        shortMethod(b);
    } else {
        const bool doLeft = !(c.width & width_flags::kKeepLeft);
        const bool doRight = !(c.width & width_flags::kKeepRight);
        if (doLeft) reconstruct(0, b, left_.data());
        if (doRight) reconstruct(1, b, right_.data());
        if (doLeft) blend(0, b, left_.data());
        if (doRight) blend(1, b, right_.data());
    }

    store.writeWorking(start, n_.data(), kBytes);
    return true;
}

void CorrectionGenerator::shortMethod(int b) {
    auto at = [this](int frame, int channel) -> int16_t& {
        return n_[static_cast<size_t>(frame * 2 + channel)];
    };
    const int first = kCentre - b;
    const int after = kCentre + b;
    auto quiet = [&](int frame) {
        return std::abs(at(frame, 0)) < kQuiet && std::abs(at(frame, 1)) < kQuiet &&
               std::abs(at(frame + 1, 0)) < kQuiet && std::abs(at(frame + 1, 1)) < kQuiet;
    };
    // Decided once from the untouched samples, for both channels alike.
    const bool quietBefore = quiet(first);
    const bool quietAfter = quiet(after);

    const double u = 2.0 * b;
    const double X = u * (u + 1) * (u + 2);
    const double Y = 3 * u * (u + 1);
    const double E = 2 * u * X - u * (u + 1) * Y;
    for (int ch = 0; ch < 2; ++ch) {
        const double y0 = at(first, ch);
        const double y1 = quietBefore ? y0 : at(first + 1, ch);
        const double z0 = at(after, ch);
        const double z1 = quietAfter ? z0 : at(after + 1, ch);
        const double d = (z1 - z0) - (y1 - y0);
        const double a2 = (X * d - Y * (z1 - y1 * (u + 1) + u * y0)) / E;
        const double a3 = (d - 2 * u * a2) / Y;
        const double a1 = y1 - y0 - a2 - a3;
        for (int g = 0; g <= 2 * b + 1; ++g) {
            const double p = y0 + a1 * g + a2 * g * g + a3 * g * g * g;
            at(first + g, ch) = static_cast<int16_t>(std::clamp(p, -32768.0, 32767.0));
        }
    }
}

void CorrectionGenerator::reconstruct(int channel, int b, float* result) {
    double* buf = fft_.Buffer;
    auto sampleN = [this, channel](int frame) {
        return static_cast<double>(n_[static_cast<size_t>(frame * 2 + channel)]);
    };
    const int A = coreHalfWidth(b);

    // Reference spectrum of the audio well before the click.
    for (int i = 0; i < kWindow; ++i) buf[i] = sampleN(i);
    fft_.Transform(1);
    double mag[kPairs - 1];
    for (int k = 0; k < kPairs - 1; ++k)
        mag[k] = std::sqrt(buf[2 * k] * buf[2 * k] + buf[2 * k + 1] * buf[2 * k + 1]);

    int peaks[kPeaks];
    bool picked[kPairs - 1] = {};
    double firstPeak = 0.0;
    for (int r = 0; r < kPeaks; ++r) {
        int best = -1;
        for (int k = 0; k < kPairs - 1; ++k)
            if (!picked[k] && (best < 0 || mag[k] > mag[best])) best = k;
        picked[best] = true;
        peaks[r] = -1;
        if (r == 0) {
            firstPeak = mag[best];
            peaks[r] = best;
        } else if (mag[best] > 0.05 * firstPeak) {
            peaks[r] = best;
        }
    }

    double mask[kPairs] = {};
    mask[0] = 1.0;
    auto addPeaks = [&](int from, int to) { // 0-based slots
        for (int r = from; r <= to; ++r)
            if (peaks[r] >= 0) mask[peaks[r]] = 1.0;
    };
    if (A != 200) addPeaks(0, 1);

    auto round = [&] {
        fft_.Transform(1);
        for (int k = 0; k < kPairs; ++k) {
            buf[2 * k] *= mask[k];
            buf[2 * k + 1] *= mask[k];
        }
        fft_.Transform(-1);
    };
    // Only the core around the click is unknown; everything else is put back after each round.
    auto reinsertKnown = [&] {
        for (int j = 0; j <= 255 - A; ++j) buf[j] = sampleN(kClickWindow + j);
        for (int j = 255 + A; j < kWindow; ++j) buf[j] = sampleN(kClickWindow + j);
    };

    for (int j = 0; j < kWindow; ++j) buf[j] = sampleN(kClickWindow + j);
    round();
    addPeaks(2, 8);
    reinsertKnown();
    round();
    addPeaks(9, 23);
    reinsertKnown();
    round();

    for (int j = 0; j < kWindow; ++j)
        result[j] = static_cast<float>(std::clamp(buf[j], -32763.0, 32762.0));
}

void CorrectionGenerator::blend(int channel, int b, const float* r) {
    auto index = [channel](int j) { return static_cast<size_t>((kClickWindow + j) * 2 + channel); };
    auto fade = [&](int j, int m) {
        float mixed = m * r[j] + (16 - m) * o_[index(j)];
        n_[index(j)] = static_cast<int16_t>(mixed * 0.0625);
    };
    for (int m = 1; m <= 16; ++m) fade(240 - b + m - 1, m);
    for (int j = 256 - b; j <= 254 + b; ++j) n_[index(j)] = static_cast<int16_t>(r[j]);
    for (int m = 15; m >= 0; --m) fade(255 + b + 15 - m, m);
}

MakeResult MakeCorrections(const CorrectionList& list, CorrectionGenerator& generator,
                           WaveStore& store, UserInterface& ui, const MakeOptions& options) {
    MakeResult result;
    const int count = list.count();
    const int last = count - 2;

    ui.setStatusPane(1, "Making Corrections...");
    ui.setStatusPane(2, format("Clicks: %d", count - 2 * options.trackEntries));
    ui.setStatusPane(3, format("Tracks: %d", options.trackEntries - 1));
    ui.setProgressRange(0, std::max(count - 1, 0));
    ui.setProgressPosition(0);
    if (!options.blockList && options.status) *options.status = 4;
    if (options.observer && options.currentEntry > 0 && options.currentEntry <= last)
        options.observer->entrySelected(options.currentEntry);

    // Pending entries as a singly linked list threaded through next[]; next[0] is the head.
    constexpr int kEnd = -1;
    std::vector<int> next(static_cast<size_t>(std::max(count, 1)), kEnd);
    int32_t pass = std::numeric_limits<int32_t>::max();
    for (int i = 1; i <= last; ++i) {
        next[static_cast<size_t>(i - 1)] = i;
        pass = std::min(pass, list[i].pass);
    }
    if (last >= 1) next[static_cast<size_t>(last)] = kEnd;

    // Passes are walked from the lowest present upwards, jumping over passes nobody has: a
    // negative or huge pass read from a session cannot stall the loop.
    int processed = 0;
    while (next[0] != kEnd) {
        int32_t following = std::numeric_limits<int32_t>::max();
        int prev = 0;
        for (int i = next[0]; i != kEnd; i = next[static_cast<size_t>(i)]) {
            const Correction& c = list[i];
            if (c.pass != pass) {
                following = std::min(following, c.pass);
                prev = i;
                continue;
            }
            next[static_cast<size_t>(prev)] = next[static_cast<size_t>(i)];
            if (ui.pumpAndTakeCancel() &&
                ui.ask("Really Cancel?", "Tarnival", Buttons::YesNo) == Answer::Yes) {
                result.cancelled = true;
                result.cancelIndex = i;
                return result;
            }
            ui.setProgressText(0, format("Processing Click Number %d", i));
            if (generator.Apply(c, store)) ++result.applied;
            ui.setProgressPosition(++processed);
        }
        pass = following;
    }

    if (!options.blockList && options.status) *options.status = 5;
    return result;
}

} // namespace tarnival
