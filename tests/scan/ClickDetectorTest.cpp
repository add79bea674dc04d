#include "scan/ClickDetector.h"

#include "document/CorrectionList.h"
#include "document/WaveStore.h"
#include "dsp/Fft.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <numbers>
#include <vector>

using namespace tarnival;
using namespace tarnival::test;
namespace cd = tarnival::click_detail;

namespace {

constexpr int32_t kDataStart = 44; // a plain 44-byte wave header
constexpr int kBlockFrames = 65536;
constexpr int kFirstBlockFrame = 1024; // the first block starts 4096 bytes into the data

int32_t pos(int frame) {
    return kDataStart + 4 * frame;
}

DetectorOptions options(int sensitivity, bool differential = false) {
    DetectorOptions o;
    o.differential = differential;
    o.factors = deriveFactors(sensitivity, differential);
    return o;
}

// A one-sample impulse in the left channel: the frame itself has roughness a, its two
// neighbours a / 2.
void impulse(Stereo& s, int frame, int a) {
    s[static_cast<size_t>(frame) * 2] += static_cast<int16_t>(a);
}

// A triangle whose neighbours lie on the straight line: only the middle frame is rough.
void triangle(Stereo& s, int frame, int a) {
    s[static_cast<size_t>(frame - 1) * 2] += static_cast<int16_t>(a / 2);
    s[static_cast<size_t>(frame) * 2] += static_cast<int16_t>(a);
    s[static_cast<size_t>(frame + 1) * 2] += static_cast<int16_t>(a / 2);
}

Stereo sine(int frames, double amplitude, double hz) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const auto v =
            static_cast<int16_t>(amplitude * std::sin(2 * std::numbers::pi * hz * i / 44100.0));
        s[static_cast<size_t>(i) * 2] = v;
        s[static_cast<size_t>(i) * 2 + 1] = v;
    }
    return s;
}

// A source file and the block loop of a load, feeding the detector as the load driver does.
class Harness {
  public:
    explicit Harness(const Stereo& audio) {
        const std::string path = dir_.file("side.wav");
        writeWav(path, audio);
        store.source.open(path, File::Mode::ReadOnly);
        store.layout.dataStart = kDataStart;
        store.layout.dataEnd = kDataStart + static_cast<int32_t>(audio.size() * 2);
        store.layout.fileLength = store.source.length();
        list.sizeBlockCounters(store.layout.fileLength);
    }

    // Whether the first block looked mono (only asked when checkMono).
    bool mono = false;
    float finalFactor = 0;
    bool buffersUntouched = true;
    WaveStore store;
    CFft fft;
    CorrectionList list;

    std::vector<Correction> run(const DetectorOptions& o, UserInterface* ui = nullptr,
                                bool checkMono = false, CorrectionList* counters = nullptr) {
        ClickDetector detector(list, store, fft, ui, o, counters);
        detector.beginScan();
        std::vector<int16_t> buffer(ClickDetector::kBufferSamples);
        const int32_t end = store.layout.dataEnd - 4096;
        for (int32_t G = kDataStart + 4096; G < end; G += kBlockSize) {
            std::fill(buffer.begin(), buffer.end(), 0);
            const size_t got = store.source.readAt(G, buffer.data(), buffer.size() * 2);
            const int count = got < buffer.size() * 2 ? (static_cast<int>(got) - 7096) / 2
                                                      : ClickDetector::kBlockSamples;
            if (checkMono && G == kDataStart + 4096) {
                mono = ClickDetector::monoCheck(buffer.data(), static_cast<int>(got / 2));
                if (mono) detector.switchToPerChannel();
            }
            const std::vector<int16_t> before = buffer;
            detector.scanBlock(G, buffer.data(), count);
            buffersUntouched = buffersUntouched && before == buffer;
        }
        detector.finishScan();
        finalFactor = detector.thresholdFactor();
        EXPECT_GE(list.count(), 2);
        EXPECT_EQ(list[list.count() - 1].position, 0);
        return {list.entries().begin() + 1, list.entries().end() - 1};
    }

  private:
    TempDir dir_;
};

std::vector<Correction> scan(const Stereo& audio, const DetectorOptions& o) {
    Harness h(audio);
    return h.run(o);
}

// Index of the record whose span [position - width/2, position + width/2] comes within slack
// bytes of p, or -1.
int near(const std::vector<Correction>& found, int32_t p, int32_t slack) {
    for (size_t i = 0; i < found.size(); ++i) {
        const int32_t half = found[i].width / 2;
        if (p >= found[i].position - half - slack && p <= found[i].position + half + slack)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

TEST(ScanFactors, ThresholdAndJumpFactorsBySensitivity) {
    const float F[] = {4.5f, 4.0f, 3.5f, 3.5f, 3.0f};
    const int J[] = {20, 7, 2, 2, 2};
    for (int s = 1; s <= 5; ++s) {
        EXPECT_EQ(deriveFactors(s, false).thresholdFactor, F[s - 1]) << s;
        EXPECT_EQ(deriveFactors(s, true).thresholdFactor, F[s - 1] + 1.0f) << s;
        EXPECT_EQ(deriveFactors(s, false).jumpFactor, J[s - 1]) << s;
        EXPECT_EQ(deriveFactors(s, false).sensitivity, s);
    }
    EXPECT_EQ(deriveFactors(0, false).thresholdFactor, 1000.0f);
    // Never chosen counts as the default; a hand-edited value out of range is held at the top.
    EXPECT_EQ(deriveFactors(-1, false).thresholdFactor, 3.5f);
    EXPECT_EQ(deriveFactors(-1, false).sensitivity, 3);
    EXPECT_EQ(deriveFactors(12, false).thresholdFactor, 3.0f);
    EXPECT_EQ(deriveFactors(12, false).sensitivity, 5);
}

TEST(ClickDetectorParts, HistogramBinsAndSegmentLevel) {
    EXPECT_EQ(cd::roughnessBin(0), 0);
    EXPECT_EQ(cd::roughnessBin(8), 0);
    EXPECT_EQ(cd::roughnessBin(9), 1);
    EXPECT_EQ(cd::roughnessBin(11), 1);
    EXPECT_EQ(cd::roughnessBin(12), 2);
    EXPECT_EQ(cd::roughnessBin(250), 10);
    EXPECT_EQ(cd::roughnessBin(251), 11);
    EXPECT_EQ(cd::roughnessBin(4000), 18);
    EXPECT_EQ(cd::roughnessBin(4001), 19);
    EXPECT_EQ(cd::roughnessBin(65535), 19);

    int32_t quiet[20] = {255};
    EXPECT_EQ(cd::segmentLevel(quiet), 6);
    int32_t loud[20] = {240};
    loud[19] = 15;
    EXPECT_EQ(cd::segmentLevel(loud), 4000);
    // 20 residuals in (175, 250]: 250 - 75 * 15 / 20 = 250 - 56.
    int32_t one[20] = {235};
    one[10] = 20;
    EXPECT_EQ(cd::segmentLevel(one), 194);
    // 5 residuals above the bin: 250 - 75 * 10 / 20 = 250 - 37.
    int32_t two[20] = {230};
    two[10] = 20;
    two[12] = 5;
    EXPECT_EQ(cd::segmentLevel(two), 213);
    // Only bin 0 reaches 15 together with those above: the floor.
    int32_t low[20] = {250};
    low[3] = 5;
    EXPECT_EQ(cd::segmentLevel(low), 6);
}

TEST(ClickDetectorParts, SmoothingPullsDownInflatedLevels) {
    auto levels = [](std::vector<int32_t> seg, int sensitivity, int jump) {
        std::vector<float> ratio(seg.size(), 1.0f);
        cd::smoothLevels(seg, ratio, static_cast<int>(seg.size()) - 6, sensitivity, jump);
        return seg;
    };
    //                          0    1    2    3     4    5    6    7    8    9   10
    const std::vector<int32_t> click{5, 100, 100, 1000, 100, 100, 100, 100, 100, 100, 100};
    EXPECT_EQ(levels(click, 3, 2)[3], 100);
    EXPECT_EQ(levels(click, 3, 2)[0], 100); // segment 0 copies segment 1
    // Far above what follows: down to the quieter of before and after. Not that far above (the
    // larger jump factor of low sensitivities): back to the level before.
    //                               0    1    2     3   4   5   6   7   8   9  10
    const std::vector<int32_t> dip{5, 100, 100, 1000, 60, 60, 60, 60, 60, 60, 60};
    EXPECT_EQ(levels(dip, 3, 2)[3], 60);
    EXPECT_EQ(levels(dip, 1, 20)[3], 100);

    // Loud music five segments on: only the long look-ahead sees it.
    std::vector<int32_t> loudAhead = click;
    loudAhead[8] = 1000;
    EXPECT_EQ(levels(loudAhead, 3, 2)[3], 1000);
    EXPECT_EQ(levels(loudAhead, 4, 2)[3], 100);
    EXPECT_EQ(levels(loudAhead, 5, 2)[3], 100);
    std::vector<int32_t> loudSoon = click;
    loudSoon[6] = 1000;
    EXPECT_EQ(levels(loudSoon, 4, 2)[3], 1000);
    EXPECT_EQ(levels(loudSoon, 5, 2)[3], 100);

    // A step to more than twice the level while the look-ahead stays low.
    const std::vector<int32_t> step{5, 100, 100, 250, 150, 150, 150, 150, 150, 150, 150};
    EXPECT_EQ(levels(step, 3, 2)[3], 100);

    // Each segment is judged against the already smoothed one before it.
    const std::vector<int32_t> run{5, 100, 1000, 1000, 150, 150, 150, 150, 150, 150, 150};
    EXPECT_EQ(levels(run, 3, 2)[2], 100);
    EXPECT_EQ(levels(run, 3, 2)[3], 100);

    // Ratios take the smallest of each segment and the two after it.
    std::vector<int32_t> flat(12, 100);
    std::vector<float> ratio{5, 1, 3, 4, 6, 7, 2, 8, 9, 9, 9, 9};
    cd::smoothLevels(flat, ratio, 6, 3, 2);
    EXPECT_EQ(ratio, (std::vector<float>{1, 1, 3, 4, 2, 2, 2, 8, 9, 9, 9, 9}));
}

TEST(ClickDetectorParts, ThresholdsTruncateTheScaledLevelFirst) {
    std::vector<int32_t> seg{6, 100, 7, 7};
    std::vector<float> ratio{0.0f, 3.0f, 2.5f, 1.0f};
    cd::levelsToThresholds(seg, ratio, 2, 4.5f);
    EXPECT_EQ(seg[0], 27);  // trunc(6 * 4.5) with the ratio raised to 2
    EXPECT_EQ(seg[1], 675); // 450 * 3 / 2
    EXPECT_EQ(seg[2], 38);  // trunc(31 * 2.5 / 2); without the inner truncation 39
    EXPECT_EQ(seg[3], 7);   // beyond the last segment: untouched
    EXPECT_EQ(ratio[0], 2.0f);
}

TEST(ClickDetectorParts, AcceptedWidthTable) {
    auto adjust = [](int magnitude, int width, float rms = 1000.0f, bool narrow = false) {
        Correction c;
        c.magnitude = magnitude;
        c.width = width;
        cd::adjustAccepted(c, rms, narrow);
        return std::pair{c.width, c.magnitude};
    };
    EXPECT_EQ(adjust(51, 101), (std::pair{300, 51}));
    EXPECT_EQ(adjust(51, 100), (std::pair{292, 51}));
    EXPECT_EQ(adjust(31, 50), (std::pair{292, 31}));
    EXPECT_EQ(adjust(20, 50), (std::pair{50, 20}));
    EXPECT_EQ(adjust(30, 8), (std::pair{8, 30}));
    // Quiet surroundings widen short clicks by two frames.
    EXPECT_EQ(adjust(2, 0, 499.0f), (std::pair{8, 2}));
    EXPECT_EQ(adjust(2, 0, 500.0f), (std::pair{0, 2}));
    EXPECT_EQ(adjust(2, 36, 100.0f), (std::pair{44, 2}));
    EXPECT_EQ(adjust(2, 40, 100.0f), (std::pair{40, 2}));
    EXPECT_EQ(adjust(40, 8, 100.0f), (std::pair{292, 40}));
    // A long correction is never weaker than 30.
    EXPECT_EQ(adjust(10, 296), (std::pair{296, 30}));
    // Narrow corrections: a third, on whole frames.
    EXPECT_EQ(adjust(51, 101, 1000.0f, true), (std::pair{100, 51}));
    EXPECT_EQ(adjust(31, 50, 1000.0f, true), (std::pair{96, 31}));
    EXPECT_EQ(adjust(2, 0, 100.0f, true), (std::pair{0, 2}));
    EXPECT_EQ(adjust(2, 36, 1000.0f, true), (std::pair{12, 2}));
}

TEST(ClickDetector, SingleRoughFrameIsOneFrameWideAndWidenedWhenQuiet) {
    const int frames = 3 * kBlockFrames;
    Stereo quiet = silence(frames);
    triangle(quiet, 20000, 80);
    Harness h(quiet);
    auto found = h.run(options(3));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].position, pos(20000));
    EXPECT_EQ(found[0].width, 8);
    EXPECT_EQ(found[0].magnitude, 1); // 40 * 3.5 * 2/7 / 21
    EXPECT_EQ(found[0].pass, 1);
    EXPECT_EQ(h.list.blockCounters()[static_cast<size_t>(pos(20000) / kBlockSize)], 1);

    // Over a loud but smooth tone the same click keeps its single frame.
    Stereo loud = sine(frames, 2000, 50);
    triangle(loud, 20000, 80);
    found = scan(loud, options(3));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].position, pos(20000));
    EXPECT_EQ(found[0].width, 0);

    // An impulse makes its neighbours rough too: three frames, centred on the impulse.
    Stereo spike = silence(frames);
    impulse(spike, 20000, 300);
    found = scan(spike, options(3));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].position, pos(20000));
    EXPECT_EQ(found[0].width, 16);
    EXPECT_EQ(found[0].magnitude, 14);
}

TEST(ClickDetector, NearbyRoughFramesMergeWithinTheMagnitudeReach) {
    const int frames = 3 * kBlockFrames;
    auto count = [&](int amplitude, int gap) {
        Stereo s = silence(frames);
        impulse(s, 30000, amplitude);
        impulse(s, 30000 + gap, amplitude);
        return scan(s, options(3)).size();
    };
    // Magnitude 10: reach 5 * 10 + 16 = 66 bytes from the candidate's first frame.
    EXPECT_EQ(count(220, 14), 1u); // last rough frame 64 bytes on
    EXPECT_EQ(count(220, 17), 2u); // first rough frame of the second 68 bytes on
    // Magnitude 71: the reach would be 371 but never exceeds 292.
    EXPECT_EQ(count(1500, 70), 1u);
    EXPECT_EQ(count(1500, 73), 2u);
    EXPECT_EQ(count(1500, 200), 2u);
}

TEST(ClickDetector, MagnitudeFloorsBySensitivityAndMinMagnitude) {
    const int frames = 3 * kBlockFrames;
    Stereo s = silence(frames);
    // Magnitudes come out near a / 21 at every sensitivity over silence.
    impulse(s, 20000, 30); // 1
    impulse(s, 30000, 50); // 2
    impulse(s, 40000, 70); // 3
    impulse(s, 50000, 90); // 4
    auto magnitudes = [&](DetectorOptions o) {
        std::vector<int> m;
        for (const auto& c : scan(s, o)) m.push_back(c.magnitude);
        return m;
    };
    EXPECT_EQ(magnitudes(options(3)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(magnitudes(options(5)), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(magnitudes(options(2)), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(magnitudes(options(1)), (std::vector<int>{3, 4}));
    DetectorOptions min = options(3);
    min.minMagnitude = 3;
    EXPECT_EQ(magnitudes(min), (std::vector<int>{3, 4}));
    min.minMagnitude = 4;
    EXPECT_EQ(magnitudes(min), (std::vector<int>{4}));
}

TEST(ClickDetector, LookAheadRuleSeparatesSensitivityThreeAndFour) {
    // Hiss with a burst of crackle in one segment and loud hiss starting four segments later:
    // the long look-ahead of sensitivity 3 sees the loud part and keeps the burst's inflated
    // level, the short one of sensitivity 4 pulls it down and finds the crackle.
    const int frames = 3 * kBlockFrames;
    Stereo s = hiss(frames, 30, 11);
    const int burstSegment = 100;
    const int burstFrame = kFirstBlockFrame + burstSegment * 128;
    for (int i = 0; i < 20; ++i) impulse(s, burstFrame + 4 + i * 6, (i % 2) ? -1500 : 1500);
    Stereo loud = hiss(128 * 40, 1200, 12);
    for (size_t i = 0; i < loud.size(); ++i)
        s[static_cast<size_t>(burstFrame + 128 * 4) * 2 + i] = loud[i];

    const int32_t burst = pos(burstFrame + 64);
    auto inBurst = [&](const std::vector<Correction>& found) {
        int n = 0;
        for (const auto& c : found) n += std::abs(c.position - burst) < 600;
        return n;
    };
    const auto three = scan(s, options(3));
    const auto four = scan(s, options(4));
    EXPECT_EQ(deriveFactors(3, false).thresholdFactor, deriveFactors(4, false).thresholdFactor);
    EXPECT_EQ(inBurst(three), 0);
    EXPECT_GE(inBurst(four), 2);
}

TEST(ClickDetector, ClickAcrossABlockBoundaryStaysOneCandidate) {
    const int frames = 3 * kBlockFrames;
    const int boundary = kFirstBlockFrame + kBlockFrames; // frame 0 of the second block
    auto click = [&](int frame) {
        Stereo s = silence(frames);
        addClick(s, Click{frame, 20, 300});
        return scan(s, options(3));
    };
    const auto across = click(boundary - 9);
    const auto inside = click(boundary + 20000);
    ASSERT_EQ(across.size(), 1u);
    ASSERT_EQ(inside.size(), 1u);
    EXPECT_EQ(across[0].width, inside[0].width);
    EXPECT_EQ(across[0].magnitude, inside[0].magnitude);
    EXPECT_EQ(across[0].position - pos(boundary - 9), inside[0].position - pos(boundary + 20000));
    EXPECT_GT(across[0].width, 40);
    EXPECT_LT(across[0].position - across[0].width / 2, pos(boundary));
    EXPECT_GT(across[0].position + across[0].width / 2, pos(boundary));
}

TEST(ClickDetector, EdgeGuardsKeepClearOfBothEndsOfTheData) {
    const int frames = 3 * kBlockFrames;
    const int guardFrames = kEdgeGuard / 4;
    Stereo s = silence(frames);
    triangle(s, guardFrames - 100, 80);
    triangle(s, guardFrames + 100, 80);
    triangle(s, frames - guardFrames - 100, 80);
    triangle(s, frames - guardFrames + 100, 80);
    const auto found = scan(s, options(3));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].position, pos(guardFrames + 100));
    EXPECT_EQ(found[1].position, pos(frames - guardFrames - 100));
}

TEST(ClickDetector, ProgressCountsClicksAsNewCandidatesStart) {
    Stereo s = silence(3 * kBlockFrames);
    triangle(s, 1000, 80); // inside the edge guard: dropped
    triangle(s, 20000, 80);
    triangle(s, 30000, 80);
    triangle(s, 40000, 80);
    ScriptedUi ui;
    Harness h(s);
    EXPECT_EQ(h.run(options(3), &ui).size(), 3u);
    // Shown when the last candidate started, with two clicks already accepted.
    EXPECT_EQ(ui.progressLines[0], "Clicks Found = 2");
    EXPECT_EQ(h.list.count(), 5);
    EXPECT_EQ(h.list[0], (Correction{1, 0, 0, 0, 0}));
}

TEST(ClickDetector, DifferentialModeDetectsOnTheDifferenceAndFallsBackForMono) {
    const int frames = 3 * kBlockFrames;
    // A mono transfer: identical channels.
    Stereo mono = music(frames, 44100, 5, 8000);
    for (size_t i = 0; i < mono.size(); i += 2) mono[i + 1] = mono[i];
    Harness same(mono);
    same.run(options(3, true), nullptr, true);
    EXPECT_TRUE(same.mono);
    EXPECT_EQ(same.finalFactor, 3.5f);

    // A mono record on stereo equipment: the channels differ a little. A click on one side
    // stands out in the difference although the music is loud, and the AGC test measures the
    // difference too.
    Stereo nearly = mono;
    const Stereo h = hiss(frames, 20, 9);
    for (size_t i = 1; i < nearly.size(); i += 2)
        nearly[i] = static_cast<int16_t>(nearly[i] + h[i]);
    triangle(nearly, 40000, 1600);
    triangle(nearly, 50000, 1600); // so that the click above is judged within its own block
    DetectorOptions o = options(3, true);
    o.agc = 3;
    Harness diff(nearly);
    const auto found = diff.run(o, nullptr, true);
    EXPECT_FALSE(diff.mono);
    EXPECT_EQ(diff.finalFactor, 4.5f);
    EXPECT_TRUE(diff.buffersUntouched);
    EXPECT_GE(near(found, pos(40000), 8), 0);
    // Per channel, the loud music raises the AGC bar above the click.
    o = options(3, false);
    o.agc = 3;
    EXPECT_LT(near(scan(nearly, o), pos(40000), 8), 0);

    EXPECT_FALSE(ClickDetector::monoCheck(silence(40000).data(), 80000));
    Stereo lastEqual = music(40000, 44100, 5, 8000);
    lastEqual[79999] = lastEqual[79998];
    EXPECT_FALSE(ClickDetector::monoCheck(lastEqual.data(), 80000));
}

TEST(ClickDetector, AgcWindowEndsShortlyBeforeTheCandidate) {
    // The click sits in silence; a loud tone ends 100 frames before it or starts 100 frames
    // after it. Only the tone before it falls into the AGC window.
    const int frames = 3 * kBlockFrames;
    const int at = 40000;
    auto found = [&](int toneFrom, int toneTo, int agc) {
        Stereo s = silence(frames);
        const Stereo tone = sine(toneTo - toneFrom, 12000, 60);
        for (size_t i = 0; i < tone.size(); ++i) s[static_cast<size_t>(toneFrom) * 2 + i] = tone[i];
        impulse(s, at, 150); // magnitude 7
        // A later click, so that the one above is judged within its own block.
        triangle(s, at + 5000, 80);
        DetectorOptions o = options(3);
        o.agc = agc;
        return near(scan(s, o), pos(at), 8) >= 0;
    };
    EXPECT_FALSE(found(at - 3000, at - 100, 1));
    EXPECT_TRUE(found(at - 3000, at - 100, 0));
    EXPECT_TRUE(found(at + 100, at + 3000, 3));
}

TEST(ClickDetector, DiscriminatorDropsCandidatesInTonalMaterial) {
    const int frames = 3 * kBlockFrames;
    Stereo tonal = music(frames, 44100, 21, 9000);
    Stereo noisy = hiss(frames, 300, 22);
    const std::vector<int> at{20000, 40000, 60000, 80000, 100000, 120000, 140000, 160000};
    for (int f : at) {
        impulse(tonal, f, 900);
        impulse(noisy, f, 6000);
    }
    auto hits = [&](const Stereo& s, int discriminator, int sensitivity = 3) {
        DetectorOptions o = options(sensitivity);
        o.discriminator = discriminator;
        const auto found = scan(s, o);
        int n = 0;
        for (int f : at) n += near(found, pos(f), 8) >= 0;
        return n;
    };
    EXPECT_EQ(hits(tonal, 0), 8);
    EXPECT_EQ(hits(tonal, 3), 0);
    EXPECT_EQ(hits(tonal, 0, 2), 0); // low sensitivity always discriminates
    EXPECT_EQ(hits(noisy, 3), 8);
}

TEST(ClickDetector, FindsClicksInMusicAndLittleElse) {
    const int frames = 12 * kBlockFrames; // about 18 seconds
    Stereo clean = music(frames, 44100, 31, 7000);
    mix(clean, hiss(frames, 40, 32));
    const auto quiet = scan(clean, options(3));
    EXPECT_LE(quiet.size(), 3u);

    Stereo damaged = clean;
    const auto clicks = addClicks(damaged, 150, 6000, frames - 6000, 33);
    const auto found = scan(damaged, options(3));
    int hit = 0;
    for (const auto& c : clicks)
        hit += near(found, pos(c.frame + c.widthFrames / 2), 4 * c.widthFrames) >= 0;
    EXPECT_GE(hit, 135) << "of " << clicks.size();
    int stray = 0;
    for (const auto& f : found) {
        bool matched = false;
        for (const auto& c : clicks)
            matched = matched || std::abs(f.position - pos(c.frame + c.widthFrames / 2)) <=
                                     f.width + 4 * c.widthFrames + 16;
        stray += !matched;
    }
    EXPECT_LE(stray, 5);
}

TEST(ClickDetector, BlockRescanKeepsToItsBlockAndItsPass) {
    const int frames = 3 * kBlockFrames;
    Stereo s = silence(frames);
    triangle(s, 20000, 80);  // outside the block
    triangle(s, 70000, 80);  // small: keeps the given pass
    impulse(s, 90000, 1500); // large: pass 0
    triangle(s, 120000, 80); // outside the block
    Harness h(s);
    DetectorOptions o = options(3);
    o.blockRescan = true;
    o.newPass = 4;
    o.blockStart = pos(60000);
    o.blockEnd = pos(100000);
    CorrectionList document;
    document.sizeBlockCounters(h.store.layout.fileLength);
    const auto found = h.run(o, nullptr, false, &document);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].position, pos(70000));
    EXPECT_EQ(found[0].pass, 4);
    EXPECT_EQ(found[1].position, pos(90000));
    EXPECT_EQ(found[1].pass, 0);
    EXPECT_EQ(h.list[h.list.count() - 1].pass, 4);
    // Counted into the document's list, not the block list.
    EXPECT_EQ(document.blockCounters()[static_cast<size_t>(pos(70000) / kBlockSize)], 2);
    EXPECT_EQ(h.list.blockCounters()[static_cast<size_t>(pos(70000) / kBlockSize)], 0);
}
