// Precise against standard click repair. Four kinds of music-like material (sustained tones,
// plucked notes, drums, speech) are damaged with 200 clicks a minute of known place and shape,
// once with widths of 1-8 frames and once with 1-60, peaks 800 to 20000. Each is scanned and
// corrected with either method, and the result compared with the clean audio. Then both methods
// are timed on a generated 20-minute record side.
//
//   bench_precise [--seconds S] [--seed N] [--side FILE] [--no-timing] [--verbose]
//                 [--order-per-sample X] [--context-per-order N] [--max-fill-order N] [--context N]
//
// --side FILE times the methods on FILE (a wave file) instead of generating a side; --seconds 0
// skips the quality table.
#include "BenchCommon.h"
#include "document/CorrectionList.h"
#include "scan/ClickDetector.h"
#include "scan/CorrectionGenerator.h"
#include "support/CorrectionSupport.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "synth/Material.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

using namespace tarnival;
using namespace tarnival::bench;
using synth::ClickPlan;
using synth::Material;
using synth::ShapedClick;
using synth::Stereo;

namespace {

constexpr int kRate = 44100;
constexpr int kReach = kRate * 5 / 1000; // +-5 ms about a click is its region
constexpr int kReadBytes = 266240;       // a block and the 4096 bytes after it

// The precise method's tuning, changed from the command line to measure alternatives.
PreciseRepair::Tuning gTuning;

struct Method {
    const char* name;
    RepairMethod method;
    bool guard = true;  // the onset guard, in the detector and the generator
    bool given = false; // every click handed to the repair: what a perfect detector would allow
    bool exact = false; // ... and its damaged samples: what a perfect marking would allow
};
const Method kMethods[] = {{"standard", RepairMethod::Standard},
                           {"precise", RepairMethod::Precise},
                           {"precise, no onset guard", RepairMethod::Precise, false},
                           {"precise, clicks given", RepairMethod::Precise, true, true},
                           {"precise, damage given", RepairMethod::Precise, true, true, true}};

// The scan the load driver runs: every block of the source through the detector.
void scan(WaveStore& store, CFft& fft, CorrectionList& list, const DetectorOptions& options) {
    const WaveLayout& l = store.layout;
    list.sizeBlockCounters(l.fileLength);
    list.zeroBlockCounters();
    ClickDetector detector(list, store, fft, nullptr, options);
    detector.beginScan();
    std::vector<int16_t> buffer(kReadBytes / 2);
    for (int64_t G = int64_t{l.dataStart} + kChunkSize; G < int64_t{l.dataEnd} - kChunkSize;
         G += kBlockSize) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(kReadBytes, l.dataEnd - G));
        const size_t got = store.source.readAt(G, buffer.data(), want);
        std::fill(reinterpret_cast<uint8_t*>(buffer.data()) + got,
                  reinterpret_cast<uint8_t*>(buffer.data()) + kReadBytes, 0);
        int sampleCount = ClickDetector::kBlockSamples;
        if (got < static_cast<size_t>(kReadBytes))
            sampleCount = std::max(0, (static_cast<int>(got) - 7096) / 2);
        detector.scanBlock(static_cast<int32_t>(G), buffer.data(), sampleCount, true);
    }
    detector.finishScan();
}

DetectorOptions detectorOptions(const Method& m) {
    ScanSettings settings;
    settings.sensitivity = settings::kDefaultSensitivity;
    settings.repairMethod = repairMethodId(m.method);
    DetectorOptions o = DetectorOptions::fromSettings(settings);
    o.onsetGuard = m.guard;
    return o;
}

void resetWorking(WaveStore& store) {
    const WaveLayout& l = store.layout;
    std::vector<int16_t> piece(kBlockSize / 2);
    for (int64_t pos = l.dataStart; pos < l.dataEnd; pos += kBlockSize) {
        const size_t bytes = static_cast<size_t>(std::min<int64_t>(kBlockSize, l.dataEnd - pos));
        store.readSourceWithGains(pos, piece.data(), bytes);
        store.writeWorking(pos, piece.data(), bytes);
    }
}

// CPU seconds of this thread: the machine may be shared, and waiting for a core is not work.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

struct Run {
    int corrections = 0;
    std::vector<std::pair<int, int>> spans; // frames [from, to) some correction may rewrite
    CorrectionGenerator::PreciseCounts counts;
    double scanSeconds = 0, correctSeconds = 0; // CPU seconds
};

// A list of exactly the clicks put in, each as wide as the detector makes a precise record.
void giveClicks(const WaveStore& store, const std::vector<ShapedClick>& clicks,
                CorrectionList& list) {
    list.resetForScan();
    int i = 1;
    for (const ShapedClick& k : clicks) {
        Correction c;
        c.position = store.layout.dataStart + 4 * (k.frame + k.widthFrames / 2);
        c.width = DetectorOptions::kPreciseMinWidth;
        c.magnitude = 10;
        list.setAtGrow(i++, c);
    }
    list.setAtGrow(i, Correction{});
}

Run scanAndCorrect(WaveStore& store, const Method& m, UserInterface& ui,
                   const std::vector<ShapedClick>& clicks = {}) {
    Run run;
    CFft fft;
    CorrectionList list;
    resetWorking(store);
    double t0 = cpuSeconds();
    if (m.given)
        giveClicks(store, clicks, list);
    else
        scan(store, fft, list, detectorOptions(m));
    run.scanSeconds = cpuSeconds() - t0;
    run.corrections = list.count() - 2;
    for (int i = 1; i <= run.corrections; ++i)
        run.spans.emplace_back((spanStart(list[i]) - store.layout.dataStart) / 4,
                               (spanEnd(list[i]) - store.layout.dataStart) / 4 + 1);
    if (m.exact) {
        // The repair alone, on exactly the damaged samples.
        std::vector<PreciseRepair::Damage> damage;
        for (const ShapedClick& k : clicks)
            damage.push_back({k.frame, k.widthFrames, k.left, k.right});
        PreciseRepair repair(gTuning);
        for (int i = 1; i <= run.corrections; ++i)
            run.counts.repaired +=
                repair.applyKnown(list[i], store, damage) == PreciseRepair::Outcome::Repaired;
        return run;
    }
    CorrectionGenerator generator(fft, m.method);
    PreciseRepair::Tuning tuning = gTuning;
    tuning.onsetGuard = m.guard;
    if (m.method == RepairMethod::Precise) generator.setPreciseTuning(tuning);
    t0 = cpuSeconds();
    MakeOptions options;
    options.blockList = true; // no document status to keep
    MakeCorrections(list, generator, store, ui, options);
    run.correctSeconds = cpuSeconds() - t0;
    run.counts = generator.preciseCounts();
    return run;
}

double db(double signal, double noise) {
    if (noise <= 0) return INFINITY;
    return 10.0 * std::log10(signal / noise);
}

struct Quality {
    int clicks = 0, found = 0, repaired = 0;
    double gain = 0;     // dB of SNR over the damaged input, whole file
    double away = 0;     // SNR of the audio away from every click
    double restored = 0; // SNR of the whole restored file
};

Quality judge(const Stereo& clean, const Stereo& damaged, const Stereo& restored,
              const std::vector<ShapedClick>& clicks, const Run& run, bool verbose) {
    Quality q;
    const size_t frames = clean.size() / 2;
    std::vector<uint8_t> near(frames, 0);
    for (const ShapedClick& c : clicks) {
        const size_t from = static_cast<size_t>(std::max(0, c.frame - kReach));
        const size_t to = std::min(frames, static_cast<size_t>(c.frame + c.widthFrames + kReach));
        double hurt = 0, left = 0;
        for (size_t i = 2 * from; i < 2 * to; ++i) {
            const double e0 = damaged[i] - clean[i], e1 = restored[i] - clean[i];
            hurt += e0 * e0;
            left += e1 * e1;
            near[i / 2] = 1;
        }
        const bool ok = left <= 0.1 * hurt;
        q.repaired += ok;
        // Found: the click's first frame lies in the span of a correction.
        const bool found = std::any_of(run.spans.begin(), run.spans.end(), [&](auto s) {
            return c.frame >= s.first && c.frame < s.second;
        });
        q.found += found;
        ++q.clicks;
        if (verbose && !ok)
            std::printf("      not repaired: frame %d width %d peak %d %s%s %s%s: %.3g -> %.3g\n",
                        c.frame, c.widthFrames, c.amplitude, c.left ? "L" : "", c.right ? "R" : "",
                        c.shape == synth::ClickShape::Impulse ? "impulse" : "pulse",
                        found ? "" : " (not found)", hurt, left);
    }
    double signal = 0, damage = 0, error = 0, awaySignal = 0, awayError = 0;
    for (size_t i = 0; i < clean.size(); ++i) {
        const double s = clean[i], e0 = damaged[i] - s, e1 = restored[i] - s;
        signal += s * s;
        damage += e0 * e0;
        error += e1 * e1;
        if (!near[i / 2]) {
            awaySignal += s * s;
            awayError += e1 * e1;
        }
    }
    if (verbose) {
        // Where the audio away from the clicks was changed most, in 10 ms pieces.
        const size_t piece = kRate / 100;
        std::vector<std::pair<double, size_t>> worst;
        for (size_t f0 = 0; f0 < frames; f0 += piece) {
            double e = 0;
            for (size_t f = f0; f < std::min(frames, f0 + piece); ++f)
                for (size_t ch = 0; ch < 2; ++ch)
                    if (!near[f]) {
                        const double d = restored[2 * f + ch] - clean[2 * f + ch];
                        e += d * d;
                    }
            if (e > 0) worst.emplace_back(e, f0);
        }
        std::sort(worst.rbegin(), worst.rend());
        for (size_t i = 0; i < std::min<size_t>(8, worst.size()); ++i)
            std::printf("      changed away from clicks: frames %zu.. error %.3g\n",
                        worst[i].second, worst[i].first);
    }
    q.gain = db(signal, error) - db(signal, damage);
    q.away = db(awaySignal, awayError);
    q.restored = db(signal, error);
    return q;
}

Stereo working(const WaveStore& store) {
    Stereo out(static_cast<size_t>(store.layout.dataLength() / 2));
    store.readWorking(store.layout.dataStart, out.data(), out.size() * 2);
    return out;
}

int onlyMaterial = -1, onlyWidth = 0; // --material N, --widths 8|60: one row group only

int quality(double seconds, uint32_t seed, bool verbose) {
    const int frames = static_cast<int>((seconds + 2) * kRate);
    const int count = static_cast<int>(std::lround(200 * seconds / 60));
    const int widths[][2] = {{1, 8}, {1, 60}};
    YesUi ui;

    std::printf("%d clicks a run (200 a minute) in %.0f s of each material, peaks 800-20000,\n",
                count, seconds);
    std::printf("impulses and pulses, 60 %% on both channels; repaired = error within +-5 ms of\n"
                "the click down by 10 dB or more. SNR in dB against the clean audio.\n\n");
    std::printf("%-16s %-6s %-24s %5s %8s %6s %7s %7s %s\n", "material", "widths", "method",
                "found", "repaired", "gain", "away", "whole",
                "corrections (precise: replaced/"
                "left/standard)");
    bool met = true;
    for (Material kind : synth::kMaterials) {
        if (onlyMaterial >= 0 && static_cast<int>(kind) != onlyMaterial) continue;
        for (const auto& w : widths) {
            if (onlyWidth && w[1] != onlyWidth) continue;
            const Stereo clean = synth::material(kind, frames, kRate, seed);
            Stereo damaged = clean;
            ClickPlan plan;
            plan.count = count;
            plan.fromFrame = kRate;
            plan.toFrame = frames - kRate;
            plan.minGap = 2 * kReach + 64;
            plan.minWidth = w[0];
            plan.maxWidth = w[1];
            const auto clicks = synth::addShapedClicks(damaged, plan, seed * 31 + w[1]);

            test::TempDir dir;
            WaveStore store;
            test::openStore(store, dir, damaged);
            double standardAway = 0;
            for (const Method& m : kMethods) {
                const Run run = scanAndCorrect(store, m, ui, clicks);
                const Quality q = judge(clean, damaged, working(store), clicks, run, verbose);
                char detail[96] = "";
                if (m.method == RepairMethod::Precise)
                    std::snprintf(detail, sizeof detail, " (%d/%d/%d)", run.counts.repaired,
                                  run.counts.clean, run.counts.standard);
                std::printf("%-16s %-6s %-24s %4.0f%% %7.1f%% %+6.1f %7.1f %7.1f %d%s\n",
                            synth::materialName(kind), w[1] == 8 ? "1-8" : "1-60", m.name,
                            100.0 * q.found / q.clicks, 100.0 * q.repaired / q.clicks, q.gain,
                            q.away, q.restored, run.corrections, detail);
                if (m.method == RepairMethod::Standard) standardAway = q.away;
                if (m.method == RepairMethod::Precise && m.guard && !m.given) {
                    const bool ok = q.repaired >= 0.8 * q.clicks && q.gain >= 6.0 &&
                                    q.away >= standardAway - 0.05;
                    met = met && ok;
                    if (!ok) std::printf("%58s^ target missed\n", "");
                }
            }
        }
    }
    std::printf("\ntargets for precise (every material): >= 80 %% repaired, >= +6 dB gain, away "
                "no worse than standard: %s\n\n",
                met ? "met" : "MISSED");
    return 0;
}

int timing(const std::string& path) {
    MemoryProfile profile;
    profile.setInt("Settings", "Sensitivity", 0); // only the copy: the scans are timed below
    profile.setInt("Settings", "Split Tracks", 0);
    useSameFolder(profile);
    YesUi ui;
    CMorvath3Doc doc(profile, ui);
    if (!doc.OpenWave(path) || !doc.ProcessFile()) {
        std::fprintf(stderr, "bench_precise: %s could not be opened\n", path.c_str());
        return 1;
    }
    Run runs[2];
    // Each method four times, alternating; the fastest scan and the fastest corrections of the
    // last three are kept (the first warms the caches), so that a busy moment of the machine
    // does not decide the ratio.
    for (int round = 0; round < 4; ++round)
        for (int i = 0; i < 2; ++i) {
            const Run run = scanAndCorrect(doc.store, kMethods[i], ui);
            if (round == 0) continue;
            if (round == 1) {
                runs[i] = run;
                continue;
            }
            runs[i].scanSeconds = std::min(runs[i].scanSeconds, run.scanSeconds);
            runs[i].correctSeconds = std::min(runs[i].correctSeconds, run.correctSeconds);
        }
    std::printf("%.1f s of audio (%s); CPU seconds of the scan and of the corrections\n",
                audioSeconds(doc), path.c_str());
    for (int i = 0; i < 2; ++i)
        std::printf("%-9s scan %6.3f s   corrections %6.3f s (%d)   total %6.3f s\n",
                    kMethods[i].name, runs[i].scanSeconds, runs[i].correctSeconds,
                    runs[i].corrections, runs[i].scanSeconds + runs[i].correctSeconds);
    const double corr = runs[1].correctSeconds / runs[0].correctSeconds;
    const double total = (runs[1].scanSeconds + runs[1].correctSeconds) /
                         (runs[0].scanSeconds + runs[0].correctSeconds);
    std::printf("precise / standard: corrections %.2fx, scan and corrections %.2fx; target "
                "(scan and corrections) within 2x: %s\n",
                corr, total, total <= 2.0 ? "met" : "MISSED");
    std::printf("precise corrections: %d samples replaced, %d left alone, %d made the standard "
                "way\n",
                runs[1].counts.repaired, runs[1].counts.clean, runs[1].counts.standard);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    double seconds = 60;
    uint32_t seed = 3;
    bool verbose = false;
    std::string side;
    bool timed = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc)
            seconds = std::stod(argv[++i]);
        else if (arg == "--seed" && i + 1 < argc)
            seed = static_cast<uint32_t>(std::stoul(argv[++i]));
        else if (arg == "--side" && i + 1 < argc)
            side = argv[++i];
        else if (arg == "--verbose")
            verbose = true;
        else if (arg == "--material" && i + 1 < argc)
            onlyMaterial = std::stoi(argv[++i]);
        else if (arg == "--widths" && i + 1 < argc)
            onlyWidth = std::stoi(argv[++i]);
        else if (arg == "--order-per-sample" && i + 1 < argc)
            gTuning.orderPerSample = std::stod(argv[++i]);
        else if (arg == "--context-per-order" && i + 1 < argc)
            gTuning.contextPerOrder = std::stoi(argv[++i]);
        else if (arg == "--max-fill-order" && i + 1 < argc)
            gTuning.maxFillOrder = std::stoi(argv[++i]);
        else if (arg == "--context" && i + 1 < argc)
            gTuning.context = std::stoi(argv[++i]);
        else if (arg == "--windowed-run" && i + 1 < argc)
            gTuning.windowedRun = std::stoi(argv[++i]);
        else if (arg == "--windowed-order-per-sample" && i + 1 < argc)
            gTuning.windowedOrderPerSample = std::stod(argv[++i]);
        else if (arg == "--windowed-context" && i + 1 < argc)
            gTuning.windowedContext = std::stoi(argv[++i]);
        else if (arg == "--no-timing")
            timed = false;
        else {
            std::fprintf(
                stderr, "usage: bench_precise [--seconds S] [--seed N] [--side FILE] [--no-timing] "
                        "[--verbose] [--material N] [--widths 8|60] [--order-per-sample X] "
                        "[--context-per-order N] [--max-fill-order N] [--context N] "
                        "[--windowed-run N] [--windowed-order-per-sample X] "
                        "[--windowed-context N]\n");
            return 2;
        }
    }
    if (seconds > 0 && quality(seconds, seed, verbose) != 0) return 1;
    if (!timed) return 0;
    if (!side.empty()) return timing(side);
    test::TempDir dir;
    const std::string path = dir.file("side20.wav");
    writeDemoSide(path, 8, 147.0, 3.0, 2026);
    return timing(path);
}
