#include "scan/CorrectionGenerator.h"

#include "document/CorrectionList.h"
#include "dsp/Fft.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace tarnival;
using namespace tarnival::test;

namespace {

constexpr int kFileFrames = 60000;
constexpr int kC = 30000; // centre frame of the corrections under test
constexpr double kTau = 6.283185307179586;

Stereo sine(int frames, double cyclesPerFrame, double amplitude) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        double l = amplitude * std::sin(kTau * cyclesPerFrame * i);
        double r = amplitude * std::sin(kTau * cyclesPerFrame * i + 1.0);
        s[static_cast<size_t>(i) * 2] = static_cast<int16_t>(std::clamp(l, -32768.0, 32767.0));
        s[static_cast<size_t>(i) * 2 + 1] = static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
    }
    return s;
}

void setFrame(Stereo& s, int frame, int left, int right) {
    s[static_cast<size_t>(frame) * 2] = static_cast<int16_t>(left);
    s[static_cast<size_t>(frame) * 2 + 1] = static_cast<int16_t>(right);
}

// High-frequency crackle (period 3 frames, far from every bin of the music) over a stretch.
void addCrackle(Stereo& s, int from, int to, int amplitude) {
    for (int f = from; f <= to; ++f) {
        int v = (f % 3 == 0) ? amplitude : -amplitude / 2;
        for (int ch = 0; ch < 2; ++ch) {
            auto& x = s[static_cast<size_t>(f) * 2 + static_cast<size_t>(ch)];
            x = static_cast<int16_t>(std::clamp(x + v, -32768, 32767));
        }
    }
}

class Generator : public ::testing::Test {
  protected:
    TempDir dir;
    WaveStore store;
    CFft fft;
    CorrectionGenerator gen{fft};

    Correction at(int frame, int32_t width, int32_t pass = 1, int32_t magnitude = 50) {
        return Correction{pass, 0, framePosition(store, frame), width, magnitude};
    }
    // Applies the corrections one after another to a copy of the audio and returns the result.
    std::vector<uint8_t> appliedInOrder(const std::vector<uint8_t>& start,
                                        const std::vector<Correction>& order) {
        setWorkingBytes(store, start);
        for (const auto& c : order) gen.Apply(c, store);
        auto result = workingBytes(store);
        setWorkingBytes(store, start);
        return result;
    }
};

TEST_F(Generator, WidthTerms) {
    EXPECT_EQ(CorrectionGenerator::sideFrames(0), 2);
    EXPECT_EQ(CorrectionGenerator::sideFrames(7), 6);
    EXPECT_EQ(CorrectionGenerator::sideFrames(8), 8);
    EXPECT_EQ(CorrectionGenerator::sideFrames(292), 220);
    EXPECT_EQ(CorrectionGenerator::sideFrames(300), 226);
    EXPECT_EQ(CorrectionGenerator::sideFrames(300 | 4096 | 8192), 226);
    EXPECT_EQ(CorrectionGenerator::sideFrames(511), 226); // beyond the model: held at 300
    EXPECT_EQ(CorrectionGenerator::coreHalfWidth(8), 4);
    EXPECT_EQ(CorrectionGenerator::coreHalfWidth(220), 39);
    EXPECT_EQ(CorrectionGenerator::coreHalfWidth(221), 39);
    EXPECT_EQ(CorrectionGenerator::coreHalfWidth(222), 200);
    EXPECT_EQ(CorrectionGenerator::coreHalfWidth(226), 200);
}

TEST_F(Generator, EachWidthRewritesExactlyItsFrames) {
    Stereo audio = music(kFileFrames, 44100, 5, 1500);
    addCrackle(audio, kC - 260, kC + 260, 12000);
    openStore(store, dir, audio);
    const auto original = workingBytes(store);

    for (int w : {0, 7}) {
        SCOPED_TRACE(w);
        setWorkingBytes(store, original);
        ASSERT_TRUE(gen.Apply(at(kC, w), store));
        auto frames = changedFrames(store, original, workingBytes(store));
        const int b = CorrectionGenerator::sideFrames(w);
        ASSERT_FALSE(frames.empty());
        EXPECT_GE(frames.front(), kC - b);
        EXPECT_LE(frames.back(), kC + b + 1);
        for (int f = kC - b + 2; f <= kC + b - 1; ++f)
            EXPECT_TRUE(std::count(frames.begin(), frames.end(), f)) << "frame " << f - kC;
    }
    for (int w : {8, 292, 300}) {
        SCOPED_TRACE(w);
        setWorkingBytes(store, original);
        ASSERT_TRUE(gen.Apply(at(kC, w), store));
        auto frames = changedFrames(store, original, workingBytes(store));
        const int b = CorrectionGenerator::sideFrames(w);
        // The fade-in starts with 1/16 of the replacement; the fade-out's last frame keeps all
        // of the original and so reads back unchanged.
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.front(), kC - b - 16);
        EXPECT_EQ(frames.back(), kC + b + 13);
        // The rewritten frames lie inside the span the list reports.
        Correction c = at(kC, w);
        EXPECT_GE(framePosition(store, frames.front()), spanStart(c));
        EXPECT_LT(framePosition(store, frames.back() + 1), spanEnd(c));
    }
}

TEST_F(Generator, WidestCoreLeavesOutTheTwoStrongestPeaks) {
    // A tone on an exact bin: its energy is in one spectrum pair, the first peak.
    openStore(store, dir, sine(kFileFrames, 20.0 / 512.0, 8000));
    const auto original = workingBytes(store);
    auto coreError = [&](int w, double& maxAbs) {
        setWorkingBytes(store, original);
        gen.Apply(at(kC, w), store);
        double err = 0;
        maxAbs = 0;
        const int b = CorrectionGenerator::sideFrames(w);
        for (int f = kC - b; f < kC + b; ++f) {
            double now = workingSample(store, f, 0);
            int16_t was = 0;
            std::memcpy(&was, &original[static_cast<size_t>(framePosition(store, f))], 2);
            err = std::max(err, std::abs(now - was));
            maxAbs = std::max(maxAbs, std::abs(now));
        }
        return err;
    };
    double level = 0;
    EXPECT_LT(coreError(292, level), 50.0); // A = 39: the tone's pair is used
    EXPECT_GT(level, 7000.0);
    coreError(300, level); // A = 200: only pair 0 survives, the tone is gone
    EXPECT_LT(level, 1000.0);
}

TEST_F(Generator, ChannelFlags) {
    Stereo audio = music(kFileFrames, 44100, 9, 4000);
    addClick(audio, Click{kC - 10, 20, 15000});
    openStore(store, dir, audio);
    const auto original = workingBytes(store);
    auto channelChanged = [&](int ch) {
        auto now = workingBytes(store);
        for (size_t i = static_cast<size_t>(store.layout.dataStart) + 2 * static_cast<size_t>(ch);
             i + 1 < now.size(); i += 4)
            if (now[i] != original[i] || now[i + 1] != original[i + 1]) return true;
        return false;
    };

    ASSERT_TRUE(gen.Apply(at(kC, 100 | width_flags::kKeepLeft), store));
    EXPECT_FALSE(channelChanged(0));
    EXPECT_TRUE(channelChanged(1));

    setWorkingBytes(store, original);
    gen.Apply(at(kC, 100 | width_flags::kKeepRight), store);
    EXPECT_TRUE(channelChanged(0));
    EXPECT_FALSE(channelChanged(1));

    setWorkingBytes(store, original);
    gen.Apply(at(kC, 100 | width_flags::kKeepLeft | width_flags::kKeepRight), store);
    EXPECT_EQ(workingBytes(store), original);

    // The cubic ignores the flags.
    setWorkingBytes(store, original);
    gen.Apply(at(kC, 5 | width_flags::kKeepLeft | width_flags::kKeepRight), store);
    EXPECT_TRUE(channelChanged(0));
    EXPECT_TRUE(channelChanged(1));
}

TEST_F(Generator, QuietAnchorsFlattenTheirSide) {
    // Width 0: anchors at frames c-2, c-1 and c+2, c+3; frames c, c+1 are replaced.
    Stereo audio = music(kFileFrames, 44100, 2, 3000);
    setFrame(audio, kC - 2, 50, -40);
    setFrame(audio, kC - 1, 90, 20);
    setFrame(audio, kC, 9000, -9000);
    setFrame(audio, kC + 1, -9000, 9000);
    setFrame(audio, kC + 2, 30, 10);
    setFrame(audio, kC + 3, -70, 60);
    openStore(store, dir, audio);
    const auto original = workingBytes(store);

    gen.Apply(at(kC, 0), store);
    // Both sides quiet: the second anchor of each side takes the first one's value.
    EXPECT_NEAR(workingSample(store, kC - 1, 0), 50, 1);
    EXPECT_NEAR(workingSample(store, kC - 1, 1), -40, 1);
    EXPECT_NEAR(workingSample(store, kC + 3, 0), 30, 1);
    EXPECT_NEAR(workingSample(store, kC + 3, 1), 10, 1);
    EXPECT_LT(std::abs(workingSample(store, kC, 0)), 100);
    EXPECT_LT(std::abs(workingSample(store, kC + 1, 1)), 100);

    // One loud sample before the gap keeps that side's slope; the quiet side is still flat.
    setWorkingBytes(store, original);
    int16_t loud = 150;
    store.working.writeAt(framePosition(store, kC - 2) + 2, &loud, 2);
    gen.Apply(at(kC, 0), store);
    EXPECT_NEAR(workingSample(store, kC - 1, 0), 90, 1);
    EXPECT_NEAR(workingSample(store, kC - 1, 1), 20, 1);
    EXPECT_NEAR(workingSample(store, kC + 3, 0), 30, 1);
}

TEST_F(Generator, Clamping) {
    // The cubic through these anchors peaks far above full scale.
    Stereo audio = music(kFileFrames, 44100, 2, 3000);
    setFrame(audio, kC - 2, 30000, -30000);
    setFrame(audio, kC - 1, 32767, -32768);
    setFrame(audio, kC + 2, 32767, -32768);
    setFrame(audio, kC + 3, 30000, -30000);
    openStore(store, dir, audio);
    gen.Apply(at(kC, 0), store);
    for (int f : {kC, kC + 1}) {
        EXPECT_EQ(workingSample(store, f, 0), 32767);
        EXPECT_EQ(workingSample(store, f, 1), -32768);
    }

    // A tone clipped at full scale: the spectral result is held to [-32763, 32762].
    TempDir dir2;
    WaveStore loud;
    openStore(loud, dir2, sine(kFileFrames, 20.0 / 512.0, 40000));
    gen.Apply(Correction{1, 0, framePosition(loud, kC), 200, 50}, loud);
    const int b = CorrectionGenerator::sideFrames(200);
    int high = -40000, low = 40000;
    for (int f = kC - b; f < kC + b; ++f) {
        high = std::max<int>(high, workingSample(loud, f, 0));
        low = std::min<int>(low, workingSample(loud, f, 0));
    }
    EXPECT_EQ(high, 32762);
    EXPECT_EQ(low, -32763);
}

TEST_F(Generator, LongCorrectionRestoresATone) {
    const Stereo clean = sine(kFileFrames, 1000.0 / 44100.0, 8000);
    Stereo audio = clean;
    addClick(audio, Click{kC - 6, 12, 20000});
    openStore(store, dir, audio);
    gen.Apply(at(kC, 100), store);

    const int b = CorrectionGenerator::sideFrames(100);
    double clickPeak = 0, clickSquares = 0, peak = 0, squares = 0;
    for (int f = kC - b - 16; f <= kC + b + 14; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            double want = clean[static_cast<size_t>(f) * 2 + static_cast<size_t>(ch)];
            double click = audio[static_cast<size_t>(f) * 2 + static_cast<size_t>(ch)] - want;
            double err = workingSample(store, f, ch) - want;
            clickPeak = std::max(clickPeak, std::abs(click));
            clickSquares += click * click;
            peak = std::max(peak, std::abs(err));
            squares += err * err;
        }
    EXPECT_GT(clickPeak, 15000.0);
    EXPECT_LT(peak, 0.08 * clickPeak);
    EXPECT_LT(std::sqrt(squares), 0.15 * std::sqrt(clickSquares));
}

TEST_F(Generator, RefusesWhatWouldLeaveTheAudio) {
    Stereo audio = music(kFileFrames, 44100, 3, 4000);
    addClick(audio, Click{kC - 2, 4, 15000});
    openStore(store, dir, audio);
    const auto original = workingBytes(store);

    EXPECT_FALSE(gen.Apply(at(500, 100), store));               // buffer would start in the header
    EXPECT_FALSE(gen.Apply(at(kFileFrames - 200, 100), store)); // would run past the data
    Correction odd = at(kC, 100);
    odd.position += 2; // off the frame grid
    EXPECT_FALSE(gen.Apply(odd, store));
    EXPECT_FALSE(gen.Apply(Correction{1, 0, framePosition(store, kC), -2, 0}, store));
    EXPECT_FALSE(gen.Apply(at(kC, 4, 1, magnitude_codes::kSplice), store));
    EXPECT_FALSE(gen.Apply(at(kC, 1, 1, magnitude_codes::kCue), store));
    EXPECT_EQ(workingBytes(store), original);

    // A width beyond 300 bytes is made as 300.
    const auto as300 = appliedInOrder(original, {at(kC, 300)});
    EXPECT_EQ(appliedInOrder(original, {at(kC, 511)}), as300);
}

class Making : public Generator {
  protected:
    ScriptedUi ui;
    CorrectionList list;
    int status = 3;

    void SetUp() override {
        Stereo audio = music(kFileFrames, 44100, 4, 4000);
        for (int f : {kC - 8000, kC, kC + 60, kC + 8000}) addClick(audio, Click{f - 8, 16, 14000});
        openStore(store, dir, audio);
    }
    MakeResult make(bool blockList = false) {
        MakeOptions o;
        o.trackEntries = 2;
        o.status = &status;
        o.blockList = blockList;
        return MakeCorrections(list, gen, store, ui, o);
    }
};

TEST_F(Making, PassesBeforePositions) {
    const auto original = workingBytes(store);
    const Correction first = at(kC, 200, 1), second = at(kC + 60, 200, 0);
    const Correction far = at(kC + 8000, 100, 1);
    list.insertOrdered(Correction{1, 0, framePosition(store, 1000), -2, 0}); // track start
    list.insertOrdered(first);
    list.insertOrdered(second);
    list.insertOrdered(at(kC + 4000, 4, 1, magnitude_codes::kSplice));
    list.insertOrdered(far);
    ASSERT_EQ(list.count(), 7);

    const auto expected = appliedInOrder(original, {second, first, far});
    ASSERT_NE(expected, appliedInOrder(original, {first, second, far}));

    MakeResult r = make();
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.applied, 3);
    EXPECT_EQ(workingBytes(store), expected);
    EXPECT_EQ(status, 5);
    EXPECT_EQ(ui.statusPanes[1], "Making Corrections...");
    EXPECT_EQ(ui.statusPanes[2], "Clicks: 3");
    EXPECT_EQ(ui.statusPanes[3], "Tracks: 1");
    EXPECT_EQ(ui.low, 0);
    EXPECT_EQ(ui.high, 6);
    EXPECT_EQ(ui.position, 5);
    EXPECT_EQ(ui.pumps, 5);
    // Pass 0 (entry 3) went first; the last pass-1 entry walked was entry 5.
    EXPECT_EQ(ui.progressLines[0], "Processing Click Number 5");
}

TEST_F(Making, OddPassValuesStillEndInOrder) {
    const auto original = workingBytes(store);
    const Correction late = at(kC, 200, 2000000000), early = at(kC + 60, 200, -5);
    list.insertOrdered(late);
    list.insertOrdered(early);
    list.insertOrdered(at(kC + 8000, 100, 7));
    const auto expected = appliedInOrder(original, {early, at(kC + 8000, 100, 7), late});
    MakeResult r = make();
    EXPECT_EQ(r.applied, 3);
    EXPECT_EQ(workingBytes(store), expected);
}

TEST_F(Making, CancelKeepsWhatWasDone) {
    const auto original = workingBytes(store);
    const auto firstOnly = appliedInOrder(original, {at(kC - 8000, 100)});
    for (int f : {kC - 8000, kC, kC + 8000}) list.insertOrdered(at(f, 100));
    ui.cancelAt = {2};
    ui.answers = {Answer::Yes};
    MakeResult r = make();
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(r.cancelIndex, 2);
    EXPECT_EQ(status, 4);
    EXPECT_EQ(ui.questions, std::vector<std::string>{"Really Cancel?"});
    EXPECT_EQ(workingBytes(store), firstOnly);

    // Answering No carries on to the end.
    setWorkingBytes(store, original);
    ui = ScriptedUi();
    ui.cancelAt = {2};
    ui.answers = {Answer::No};
    r = make();
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.applied, 3);
    EXPECT_EQ(status, 5);

    // The block list of a re-scan leaves the document status alone.
    status = 3;
    setWorkingBytes(store, original);
    ui = ScriptedUi();
    make(true);
    EXPECT_EQ(status, 3);
    EXPECT_NE(workingBytes(store), original);

    // An empty list completes at once.
    list.reset();
    make();
    EXPECT_EQ(status, 5);
}

} // namespace
