#include "dsp/NoiseProfile.h"
#include "FilterRig.h"

#include <gtest/gtest.h>

using namespace tarnival;
using namespace tarnival::test;

namespace {

// A quarter-rate cosine (A, 0, -A, 0, ...): exact integer samples whose windowed magnitude is
// 256 A at bin 128 and 128 A at bins 127 and 129.
Stereo quarterRate(int frames, int left, int right) {
    Stereo s(static_cast<size_t>(frames) * 2);
    const int pattern[4] = {1, 0, -1, 0};
    for (int i = 0; i < frames; ++i) {
        s[2 * static_cast<size_t>(i)] = static_cast<int16_t>(left * pattern[i % 4]);
        s[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(right * pattern[i % 4]);
    }
    return s;
}

} // namespace

TEST(NoiseProfile, MeansOverWholeBlocksTruncatedTowardZero) {
    // Three 512-frame blocks with left amplitudes 1000, 1001, 1001 and right 500, 500, 501,
    // then a loud stretch that the block reaches into but does not fill.
    Stereo audio = silence(2048);
    append(audio, quarterRate(512, 1000, 500));
    append(audio, quarterRate(512, 1001, 500));
    append(audio, quarterRate(512, 1001, 501));
    append(audio, quarterRate(2048, 20000, 20000));
    FilterRig rig(audio);
    rig.state.settings.ProfileStart = rig.pos(2048.0 / 44100);
    rig.state.settings.ProfileEnd = rig.state.settings.ProfileStart + 3 * 2048 + 1000;
    ASSERT_TRUE(MeasureProfile(rig.store, rig.fft, rig.state, false));
    const NoiseProfile& p = rig.state.tables.Profile;
    EXPECT_EQ(p[0][128], 256170); // 256 x 1000.667
    EXPECT_EQ(p[0][127], 128085); // 128 x 1000.667
    EXPECT_EQ(p[0][129], 128085);
    EXPECT_EQ(p[1][128], 128085); // 256 x 500.333
    EXPECT_EQ(p[1][127], 64042);
    EXPECT_EQ(p[0][40], 0);

    // From the source through the gains: the scale of the working file after a normalise.
    FilterRig gained(audio, 44100, 0.5f, 2.0f);
    gained.state.settings = rig.state.settings;
    ASSERT_TRUE(MeasureProfile(gained.store, gained.fft, gained.state, true));
    EXPECT_NEAR(gained.state.tables.Profile[0][128], 256170 / 2, 200);
    EXPECT_NEAR(gained.state.tables.Profile[1][128], 128085 * 2, 200);

    // A block shorter than one transform measures nothing.
    rig.state.settings.ProfileEnd = rig.state.settings.ProfileStart + 2044;
    EXPECT_FALSE(MeasureProfile(rig.store, rig.fft, rig.state, false));
    EXPECT_EQ(rig.state.tables.Profile[0][128], 0);
}

TEST(NoiseProfile, CaptureAcceptsBlocksFromATenthToOneSecond) {
    struct Case {
        int rate;
        int32_t length; // bytes; 0: no block selected
        bool accepted;
    };
    for (Case c : {Case{44100, 0, false}, Case{44100, 17636, false}, Case{44100, 17640, true},
                   Case{44100, 176400, true}, Case{44100, 176404, false}, Case{48000, 19200, true},
                   Case{48000, 19196, false}, Case{48000, 192000, true}}) {
        FilterRig rig(hiss(c.rate * 2, 300), c.rate);
        FilterContext ctx = rig.ctx();
        if (c.length) {
            ctx.blockStart = rig.pos(0.5);
            ctx.blockEnd = ctx.blockStart + c.length;
        }
        EXPECT_EQ(CaptureProfileCommand(ctx), c.accepted) << c.rate << " " << c.length;
        EXPECT_EQ(rig.state.settings.hasProfile(), c.accepted);
        ASSERT_EQ(rig.ui.messages.size(), 1u);
        EXPECT_NE(rig.ui.messages[0].find(c.accepted ? "The selected block has been captured"
                                                     : "out of range for noise capture"),
                  std::string::npos);
        if (c.accepted) {
            EXPECT_GT(rig.state.tables.Profile[0][100], 0);
        }
    }
    // Declining the question keeps the old profile block.
    FilterRig rig(hiss(88200, 300));
    FilterContext ctx = rig.ctx();
    ctx.blockStart = rig.pos(0.5);
    ctx.blockEnd = rig.pos(0.8);
    rig.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(CaptureProfileCommand(ctx));
    EXPECT_FALSE(rig.state.settings.hasProfile());
}

TEST(NoiseProfile, FindsTheQuietBesideTheMusic) {
    const int rate = 44100;
    auto noisy = [&](Stereo s) {
        mix(s, hiss(static_cast<int>(s.size() / 2), 40, 11));
        return s;
    };
    // Lead-in of 3 s, then music.
    {
        Stereo audio = silence(3 * rate);
        append(audio, music(10 * rate, rate, 4));
        FilterRig rig(noisy(audio));
        const int32_t m = FindMusic(rig.store, rig.fft, rig.store.layout.dataStart, +1);
        EXPECT_GE(m, rig.pos(3.0));
        EXPECT_LE(m, rig.pos(3.5));
        ProfileBlock b = FindProfileBlock(rig.store, rig.fft, rig.chunkLevels);
        ASSERT_TRUE(b.found);
        EXPECT_EQ(b.start, m - kProfileLead);
        EXPECT_EQ(b.end, m - kProfileGap);
        EXPECT_FALSE(b.doubtful);
    }
    // Music from the start, then a run-out of 3 s.
    {
        Stereo audio = music(10 * rate, rate, 5);
        append(audio, silence(3 * rate));
        FilterRig rig(noisy(audio));
        ProfileBlock b = FindProfileBlock(rig.store, rig.fft, rig.chunkLevels);
        ASSERT_TRUE(b.found);
        EXPECT_GE(b.start, rig.pos(9.9));
        EXPECT_LE(b.end, rig.pos(10.8));
    }
    // Music at both ends: the quietest chunk of the 1.5 s gap between.
    {
        Stereo audio = music(8 * rate, rate, 6);
        append(audio, silence(rate * 3 / 2));
        append(audio, music(8 * rate, rate, 7));
        FilterRig rig(noisy(audio));
        ProfileBlock b = FindProfileBlock(rig.store, rig.fft, rig.chunkLevels);
        ASSERT_TRUE(b.found);
        EXPECT_GE(b.start, rig.pos(8.0));
        EXPECT_LE(b.end, rig.pos(9.5));
        EXPECT_EQ(b.end - b.start, kProfileGap);
        EXPECT_FALSE(b.doubtful);
    }
}

TEST(NoiseProfile, DoubtfulOrMissingBlocks) {
    // Music throughout: the quietest chunk lies inside it, so the block is doubtful and the
    // user is warned (in the batch log during a batch).
    FilterRig rig(music(12 * 44100, 44100, 8));
    FilterContext ctx = rig.ctx();
    ctx.waveNotCorrected = true;
    ASSERT_TRUE(EnsureProfileBlock(ctx));
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0], badProfileWarning(true));
    std::vector<std::string> log;
    rig.state.settings.ProfileStart = 0;
    ctx.batchLog = [&](const std::string& line) { log.push_back(line); };
    ASSERT_TRUE(EnsureProfileBlock(ctx));
    EXPECT_EQ(log, std::vector<std::string>{kBadProfileLogLine});
    EXPECT_EQ(rig.ui.messages.size(), 1u);

    // Noise only: no music in either direction; a block from the middle, not doubtful.
    FilterRig quiet(hiss(6 * 44100, 50));
    ProfileBlock b = FindProfileBlock(quiet.store, quiet.fft, quiet.chunkLevels);
    ASSERT_TRUE(b.found);
    EXPECT_FALSE(b.doubtful);
    EXPECT_NEAR(b.start, quiet.pos(3.0) - kProfileGap / 2, 8);

    // Less than one transform of audio: nothing to find.
    FilterRig tiny(hiss(400, 50));
    EXPECT_FALSE(FindProfileBlock(tiny.store, tiny.fft, tiny.chunkLevels).found);
}

TEST(NoiseProfile, ThresholdsAndGainRuleOnHandComputedBins) {
    SpectralTables t;
    t.Profile[0].fill(1000);
    t.Profile[1].fill(500);
    SetHumWeights(t, true, 1);
    ComputeThresholds(t, 1);
    EXPECT_EQ(t.Threshold[0][20], 2000); // (1 + 1) x 1000 x 1
    EXPECT_EQ(t.Threshold[0][5], 1000);  // weight 0.5
    EXPECT_EQ(t.Threshold[0][1], 4000);  // hum bins: four times the profile
    EXPECT_EQ(t.Threshold[1][20], 1000);
    t.GraphicGain.fill(0.5f);

    CFft fft;
    struct Case {
        int mode, bin;
        double m;      // magnitude put into the bin (as re 0.6 m, im 0.8 m)
        double factor; // expected change of the bin
    };
    for (Case c : {
             Case{kModeHiss, 20, 5000, (5000 - 2000 * 0.8) / 5000}, // envelope 2.5 T
             Case{kModeHiss, 20, 8000, (8000 - 1000.0) / 8000},     // envelope 4 T: T / 2 off
             Case{kModeHiss, 20, 3000, 0.4},                        // below 2 T: to the floor
             Case{kModeHiss, 20, 0, 1},                             // nothing stays nothing
             Case{kModeHum, 1, 5000, 0.2},                          // 4 T, envelope < 2 T
             Case{kModeHum, 1, 3000, 0.1},                          // hum floor
             Case{kModeHum, 20, 5000, 1},                           // hum leaves bin 3 up
             Case{kModeGraphic, 20, 5000, 0.5},
             Case{kModeHum | kModeGraphic, 20, 5000, 0.5}, // no hiss rule beside hum
             Case{kModeHiss | kModeGraphic, 20, 8000, 0.875 * 0.5},
         }) {
        SpectralGain gain(t, c.mode, 1);
        for (double& v : fft.Buffer) v = 0;
        fft.Buffer[2 * c.bin] = 0.6 * c.m;
        fft.Buffer[2 * c.bin + 1] = 0.8 * c.m;
        gain.Apply(fft, 0);
        EXPECT_NEAR(fft.Magnitude(c.bin), c.m * c.factor, 1e-3) << c.mode << " " << c.bin;
        if (c.m > 0) {
            EXPECT_NEAR(fft.Buffer[2 * c.bin + 1] / fft.Buffer[2 * c.bin], 0.8 / 0.6, 1e-9)
                << "phase kept";
        }
    }

    // The envelope holds peaks: after 8000, a bin of 5000 sees envelope 7600.
    SpectralGain gain(t, kModeHiss, 1);
    fft.Buffer[40] = 8000, fft.Buffer[41] = 0;
    gain.Apply(fft, 0);
    fft.Buffer[40] = 5000, fft.Buffer[41] = 0;
    gain.Apply(fft, 0);
    EXPECT_FLOAT_EQ(gain.envelope(0, 20), 7600.0f);
    EXPECT_NEAR(fft.Buffer[40], 5000 - 2000 * (4000.0 / 7600), 1e-3);
    EXPECT_FLOAT_EQ(gain.envelope(1, 20), 1.0f); // the other channel's envelope is its own
}
