// Repair quality: music with light hiss, damaged by clicks of known place, width and size, is
// opened and corrected through the document. Prints the share of clicks repaired and the
// signal-to-noise ratio of the damaged and the restored audio against the clean audio.
//
//   bench_repair [--seed N] [--verbose]
#include "BenchCommon.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace tarnival;
using namespace tarnival::bench;
using tarnival::test::Click;
using tarnival::test::Stereo;

namespace {

constexpr int kRate = 44100;
constexpr int kMargin = 16; // frames either side of a click that count as its region
const int kWidths[] = {1, 3, 6, 12, 24, 40};
const int kAmplitudes[] = {1500, 3000, 6000, 12000, 20000};
constexpr int kRepeats = 10;

struct Energy {
    double signal = 0, damaged = 0, restored = 0;
    void add(double clean, double hurt, double fixed) {
        signal += clean * clean;
        damaged += (hurt - clean) * (hurt - clean);
        restored += (fixed - clean) * (fixed - clean);
    }
};

double db(double signal, double noise) {
    if (noise <= 0) return INFINITY;
    return 10.0 * std::log10(signal / noise);
}

// The frames of a click that carry at least a quarter of its peak must all be corrected, in
// every channel the click touched.
bool covered(const Click& c, const std::vector<uint8_t>& mask) {
    int strong = std::max(1, static_cast<int>(std::ceil(c.widthFrames * 0.75)));
    for (int f = c.frame; f < c.frame + strong; ++f) {
        uint8_t m = mask[static_cast<size_t>(f)];
        if ((c.left && !(m & 1)) || (c.right && !(m & 2))) return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    uint32_t seed = 5;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--seed" && i + 1 < argc)
            seed = static_cast<uint32_t>(std::stoul(argv[++i]));
        else if (arg == "--verbose")
            verbose = true;
        else {
            std::fprintf(stderr, "usage: bench_repair [--seed N] [--verbose]\n");
            return 2;
        }
    }
    const int nWidths = static_cast<int>(std::size(kWidths));
    const int nAmps = static_cast<int>(std::size(kAmplitudes));
    const int clickCount = nWidths * nAmps * kRepeats;
    const int spacing = kRate / 4;
    const int frames = (clickCount + 8) * spacing;

    Stereo clean = test::music(frames, kRate, seed, 6000.0);
    test::mix(clean, test::hiss(frames, 12.0, seed + 100));

    // Every width and size, in shuffled order, one click per quarter second, on both channels
    // or on one.
    std::vector<Click> clicks;
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> jitter(0, spacing / 2);
    std::vector<int> order(static_cast<size_t>(clickCount));
    for (int i = 0; i < clickCount; ++i) order[static_cast<size_t>(i)] = i;
    std::shuffle(order.begin(), order.end(), rng);
    Stereo damaged = clean;
    for (int k = 0; k < clickCount; ++k) {
        int combo = order[static_cast<size_t>(k)] % (nWidths * nAmps);
        Click c{(k + 4) * spacing + jitter(rng), kWidths[combo / nAmps],
                kAmplitudes[combo % nAmps] * (k % 2 ? -1 : 1)};
        c.left = k % 3 != 2;
        c.right = k % 3 != 1;
        test::addClick(damaged, c);
        clicks.push_back(c);
    }

    test::TempDir dir;
    const std::string path = dir.file("repair.wav");
    test::writeWav(path, damaged);

    MemoryProfile profile;
    profile.setInt("Settings", "Split Tracks", 0); // one piece: nothing to split
    YesUi ui;
    CMorvath3Doc doc(profile, ui);
    Clock::time_point t0 = Clock::now();
    if (!doc.OpenWave(path) || !doc.ProcessFile()) {
        std::fprintf(stderr, "bench_repair: the file could not be processed\n");
        return 1;
    }
    const double seconds = secondsSince(t0);
    const WaveLayout& layout = doc.store.layout;
    Stereo restored(damaged.size());
    doc.store.readWorking(layout.dataStart, restored.data(), restored.size() * 2);

    // Which frames and channels some correction replaced (bit 0 left, bit 1 right).
    std::vector<uint8_t> mask(static_cast<size_t>(frames), 0);
    int corrections = 0;
    std::vector<std::pair<int, int>> spans; // frames [from, to)
    for (int i = 1; i < doc.corrections.count() - 1; ++i) {
        const Correction& c = doc.corrections[i];
        if (c.width < 0 || c.magnitude < 0) continue;
        ++corrections;
        int from = std::max(0, (spanStart(c) - layout.dataStart) / 4);
        int to = std::min(frames, (spanEnd(c) - layout.dataStart + 3) / 4);
        uint8_t bits = static_cast<uint8_t>(((c.width & width_flags::kKeepLeft) ? 0 : 1) |
                                            ((c.width & width_flags::kKeepRight) ? 0 : 2));
        for (int f = from; f < to; ++f) mask[static_cast<size_t>(f)] |= bits;
        spans.emplace_back(from, to);
    }

    // Click regions, and the per-click verdict.
    std::vector<uint8_t> inRegion(static_cast<size_t>(frames), 0);
    std::vector<int> found(static_cast<size_t>(nWidths * nAmps)), fixed(found.size());
    int coveredCount = 0, repairedCount = 0;
    for (const Click& c : clicks) {
        int from = c.frame - kMargin, to = c.frame + c.widthFrames + kMargin;
        Energy e;
        for (int f = from; f < to; ++f) {
            inRegion[static_cast<size_t>(f)] = 1;
            for (int ch = 0; ch < 2; ++ch) {
                size_t i = 2 * static_cast<size_t>(f) + static_cast<size_t>(ch);
                e.add(clean[i], damaged[i], restored[i]);
            }
        }
        bool isCovered = covered(c, mask);
        // Repaired: covered, and at least 10 dB less error than the damage left.
        bool isRepaired = isCovered && e.restored <= 0.1 * e.damaged;
        int w = static_cast<int>(std::find(std::begin(kWidths), std::end(kWidths), c.widthFrames) -
                                 std::begin(kWidths));
        int a = static_cast<int>(
            std::find(std::begin(kAmplitudes), std::end(kAmplitudes), std::abs(c.amplitude)) -
            std::begin(kAmplitudes));
        size_t cell = static_cast<size_t>(w * nAmps + a);
        if (verbose && !isRepaired)
            std::printf(
                "  not repaired: frame %d width %d peak %d %s%s covered %d, error %.3g -> %.3g\n",
                c.frame, c.widthFrames, c.amplitude, c.left ? "L" : "", c.right ? "R" : "",
                isCovered, e.damaged, e.restored);
        found[cell] += isCovered;
        fixed[cell] += isRepaired;
        coveredCount += isCovered;
        repairedCount += isRepaired;
    }
    // Corrections that touch no click region.
    int stray = 0;
    for (auto [from, to] : spans) {
        bool any = false;
        for (int f = from; f < to && !any; ++f) any = inRegion[static_cast<size_t>(f)];
        stray += !any;
    }

    Energy whole, regions, outside;
    for (size_t f = 0; f < static_cast<size_t>(frames); ++f)
        for (size_t ch = 0; ch < 2; ++ch) {
            size_t i = 2 * f + ch;
            whole.add(clean[i], damaged[i], restored[i]);
            (inRegion[f] ? regions : outside).add(clean[i], damaged[i], restored[i]);
        }

    std::printf("audio            %.1f s, %d clicks (%d widths x %d sizes x %d), seed %u\n",
                static_cast<double>(frames) / kRate, clickCount, nWidths, nAmps, kRepeats, seed);
    std::printf("processing       %.3f s\n", seconds);
    std::printf("corrections      %d (%d touch no click region)\n", corrections, stray);
    std::printf("clicks covered   %d / %d = %.1f %%\n", coveredCount, clickCount,
                100.0 * coveredCount / clickCount);
    std::printf("clicks repaired  %d / %d = %.1f %%  (covered, error down by 10 dB or more)\n",
                repairedCount, clickCount, 100.0 * repairedCount / clickCount);
    std::printf("SNR whole file   damaged %6.1f dB   restored %6.1f dB\n",
                db(whole.signal, whole.damaged), db(whole.signal, whole.restored));
    std::printf("SNR click areas  damaged %6.1f dB   restored %6.1f dB  (click +-%d frames)\n",
                db(regions.signal, regions.damaged), db(regions.signal, regions.restored), kMargin);
    // The damaged audio is clean there: this is what replacing beyond the clicks costs.
    std::printf("SNR off clicks   undamaged          restored %6.1f dB\n",
                db(outside.signal, outside.restored));
    std::printf("repaired per width (frames) and peak size, of %d each:\n", kRepeats);
    std::printf("  width");
    for (int a : kAmplitudes) std::printf(" %6d", a);
    std::printf("\n");
    for (int w = 0; w < nWidths; ++w) {
        std::printf("  %5d", kWidths[w]);
        for (int a = 0; a < nAmps; ++a)
            std::printf(" %6d", fixed[static_cast<size_t>(w * nAmps + a)]);
        std::printf("\n");
    }
    if (!ui.messages.empty())
        std::printf("messages         %zu (see stderr)\n", ui.messages.size());
    return 0;
}
