// Track boundaries: record sides of 6 to 10 pieces that die away at their ends, separated by
// pauses of 1 to 4 seconds, under surface hiss and crackle, are opened through the document.
// Prints, per side, the pieces found against those made and how far each detected track start
// and end lies from the true ones; then how each length of pause fared over all sides.
//
//   bench_tracks [--runs N] [--verbose]
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
using tarnival::test::Stereo;

namespace {

constexpr int kRate = 44100;
const double kHissLevels[] = {10.0, 25.0, 40.0}; // surface noise RMS, cycled over the runs

struct Side {
    Stereo audio;
    std::vector<double> starts, ends, pauses; // seconds
    double hiss = 0;
};

int frames(double seconds) {
    return static_cast<int>(seconds * kRate);
}

Side makeSide(uint32_t seed, double hissRms) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Side side;
    side.hiss = hissRms;
    const int pieces = 6 + static_cast<int>(u(rng) * 5);
    side.audio = test::silence(frames(1.5)); // lead-in groove
    for (int p = 0; p < pieces; ++p) {
        int n = frames(15.0 + 20.0 * u(rng));
        Stereo piece =
            test::music(n, kRate, seed * 100 + static_cast<uint32_t>(p), 3000.0 + 5000.0 * u(rng));
        // A short attack, and the last 3 seconds die away as a held chord does.
        const int attack = frames(0.02), decay = frames(3.0);
        const double tau = (0.25 + 0.35 * u(rng)) * kRate;
        for (int f = 0; f < n; ++f) {
            double g = 1.0;
            if (f < attack) g = static_cast<double>(f) / attack;
            if (f >= n - decay) g = std::exp(-(f - (n - decay)) / tau);
            for (size_t ch = 0; ch < 2; ++ch) {
                auto& s = piece[2 * static_cast<size_t>(f) + ch];
                s = static_cast<int16_t>(s * g);
            }
        }
        side.starts.push_back(static_cast<double>(side.audio.size() / 2) / kRate);
        test::append(side.audio, piece);
        side.ends.push_back(static_cast<double>(side.audio.size() / 2) / kRate);
        if (p + 1 < pieces) {
            double pause = 1.0 + 3.0 * u(rng);
            side.pauses.push_back(pause);
            test::append(side.audio, test::silence(frames(pause)));
        }
    }
    test::append(side.audio, test::silence(frames(2.0))); // run-out groove
    const int total = static_cast<int>(side.audio.size() / 2);
    test::mix(side.audio, test::hiss(total, hissRms, seed + 1000));
    // Crackle: sparse small ticks everywhere, as on a worn surface.
    std::uniform_int_distribution<int> where(0, total - 1);
    for (int k = 0; k < total / 2000; ++k) {
        test::Click tick{where(rng), 1 + static_cast<int>(u(rng) * 3),
                         static_cast<int>((u(rng) - 0.5) * 1200.0)};
        test::addClick(side.audio, tick);
    }
    return side;
}

struct Detected {
    double start, end; // seconds from the data start
};

// Pause classes for the summary.
int pauseClass(double pause) {
    return pause < 2.0 ? 0 : pause < 3.0 ? 1 : 2;
}
const char* const kClassNames[] = {"1-2 s", "2-3 s", "3-4 s"};

struct Totals {
    int gaps[3] = {}, split[3] = {};
    int pieces = 0, found = 0, exact = 0, spurious = 0;
    std::vector<double> startErrors, endErrors;
};

void summarise(const char* what, std::vector<double> v) {
    if (v.empty()) {
        std::printf("  %-11s none\n", what);
        return;
    }
    double sum = 0, worst = 0;
    for (double x : v) sum += x, worst = std::max(worst, std::abs(x));
    std::sort(v.begin(), v.end());
    std::printf("  %-11s mean %+6.2f s  median %+6.2f s  worst |%5.2f| s  (n=%zu)\n", what,
                sum / static_cast<double>(v.size()), v[v.size() / 2], worst, v.size());
}

} // namespace

int main(int argc, char** argv) {
    int runs = 6;
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::stoi(argv[++i]));
        else if (arg == "--verbose")
            verbose = true;
        else {
            std::fprintf(stderr, "usage: bench_tracks [--runs N] [--verbose]\n");
            return 2;
        }
    }

    test::TempDir dir;
    Totals all;
    std::printf("run  seed  hiss  pieces  found  split  spurious | start error, mean/worst | "
                "end error, mean/worst | pauses missed\n");
    for (int run = 0; run < runs; ++run) {
        const uint32_t seed = 11 + static_cast<uint32_t>(run);
        const double hissRms = kHissLevels[run % std::size(kHissLevels)];
        Side side = makeSide(seed, hissRms);
        const std::string path = dir.file("side.wav");
        test::writeWav(path, side.audio);

        MemoryProfile profile;
        YesUi ui;
        CMorvath3Doc doc(profile, ui);
        if (!doc.OpenWave(path) || !doc.ProcessFile()) {
            std::fprintf(stderr, "bench_tracks: side %d could not be processed\n", run);
            return 1;
        }
        const WaveLayout& layout = doc.store.layout;
        std::vector<Detected> tracks;
        for (int i = 1; i <= doc.tracks.trackCount(); ++i) {
            auto at = [&](int32_t pos) {
                return static_cast<double>(pos - layout.dataStart) / 4.0 / kRate;
            };
            tracks.push_back({at(doc.tracks[i].start), at(doc.tracks[i].end)});
        }
        doc.CloseWave();

        // Give each detected boundary to the pause nearest to it; a boundary more than 5 s
        // from every pause, or a second one for the same pause, is spurious.
        const size_t gaps = side.pauses.size();
        std::vector<int> boundaryOfGap(gaps, -1); // index k: between tracks k and k+1
        int spurious = 0;
        for (size_t k = 0; k + 1 < tracks.size(); ++k) {
            double mid = (tracks[k].end + tracks[k + 1].start) / 2;
            size_t best = 0;
            double bestDistance = 1e9;
            for (size_t g = 0; g < gaps; ++g) {
                double d = std::max({0.0, side.ends[g] - mid, mid - side.starts[g + 1]});
                if (d < bestDistance) bestDistance = d, best = g;
            }
            if (bestDistance > 5.0 || boundaryOfGap[best] >= 0)
                ++spurious;
            else
                boundaryOfGap[best] = static_cast<int>(k);
        }

        // Per piece: its start is found when the pause before it was split (or it is the first
        // piece), its end when the pause after it was split (or it is the last).
        std::vector<double> startErrors, endErrors;
        int split = 0;
        for (size_t p = 0; p <= gaps; ++p) {
            if (p == 0)
                startErrors.push_back(tracks.front().start - side.starts[0]);
            else if (boundaryOfGap[p - 1] >= 0)
                startErrors.push_back(tracks[static_cast<size_t>(boundaryOfGap[p - 1]) + 1].start -
                                      side.starts[p]);
            if (p == gaps)
                endErrors.push_back(tracks.back().end - side.ends[p]);
            else if (boundaryOfGap[p] >= 0)
                endErrors.push_back(tracks[static_cast<size_t>(boundaryOfGap[p])].end -
                                    side.ends[p]);
        }
        for (size_t g = 0; g < gaps; ++g) {
            int c = pauseClass(side.pauses[g]);
            ++all.gaps[c];
            if (boundaryOfGap[g] >= 0) ++all.split[c], ++split;
            if (verbose)
                std::printf("    pause %zu: %.2f s at %7.2f s  %s\n", g + 1, side.pauses[g],
                            side.ends[g], boundaryOfGap[g] >= 0 ? "split" : "MISSED");
        }
        auto meanWorst = [](const std::vector<double>& v, double& mean, double& worst) {
            mean = worst = 0;
            for (double x : v) mean += x, worst = std::max(worst, std::abs(x));
            if (!v.empty()) mean /= static_cast<double>(v.size());
        };
        double sm, sw, em, ew;
        meanWorst(startErrors, sm, sw);
        meanWorst(endErrors, em, ew);
        const int pieces = static_cast<int>(side.starts.size());
        std::string missed;
        for (size_t g = 0; g < gaps; ++g)
            if (boundaryOfGap[g] < 0) {
                char text[16];
                std::snprintf(text, sizeof text, " %.1fs", side.pauses[g]);
                missed += text;
            }
        std::printf("%3d  %4u  %4.0f  %6d  %5zu  %2d/%-2zu  %8d |   %+6.2f s / %5.2f s   |  "
                    "%+6.2f s / %5.2f s  |%s\n",
                    run + 1, seed, hissRms, pieces, tracks.size(), split, gaps, spurious, sm, sw,
                    em, ew, missed.empty() ? " -" : missed.c_str());
        all.pieces += pieces;
        all.found += static_cast<int>(tracks.size());
        all.exact += static_cast<int>(tracks.size()) == pieces;
        all.spurious += spurious;
        all.startErrors.insert(all.startErrors.end(), startErrors.begin(), startErrors.end());
        all.endErrors.insert(all.endErrors.end(), endErrors.begin(), endErrors.end());
        for (const std::string& m : ui.messages) std::printf("    message: %s\n", m.c_str());
    }

    std::printf("all runs: %d pieces made, %d tracks found, %d of %d sides exact, %d spurious "
                "boundaries\n",
                all.pieces, all.found, all.exact, runs, all.spurious);
    std::printf("pauses split, by length:");
    for (int c = 0; c < 3; ++c)
        std::printf("  %s %d/%d", kClassNames[c], all.split[c], all.gaps[c]);
    std::printf("\nboundary error (detected - true; starts lead the music by design):\n");
    summarise("track start", all.startErrors);
    summarise("track end", all.endErrors);
    return 0;
}
