#include "dsp/Levels.h"
#include "FilterRig.h"

#include <gtest/gtest.h>

using namespace tarnival;
using namespace tarnival::test;

namespace {

// The load scan's sums over the whole recording.
void levelSums(const Stereo& s, double& all, double& diff) {
    all = diff = 0;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        all += std::abs(s[i]) + std::abs(s[i + 1]);
        diff += std::abs(s[i + 1]) - std::abs(s[i]);
    }
}

// The left channel in both, the right scaled.
Stereo scaledRight(Stereo s, double factor) {
    for (size_t i = 1; i < s.size(); i += 2) s[i] = static_cast<int16_t>(s[i - 1] * factor);
    return s;
}

} // namespace

TEST(Levels, NormaliseScalesTheMaximumToThePeak) {
    // -1 dB: the maximum lands on 10^(-1/20) x 32767 = 29203.6.
    Stereo audio = music(3 * 44100, 44100, 21, 9000);
    FilterRig rig(audio);
    ASSERT_TRUE(Normalise(rig.store, rig.ui, rig.state.levels, -1.0));
    EXPECT_EQ(rig.ui.progressTitle, "Normalising Volume");
    EXPECT_FALSE(rig.ui.cancelEnabled);
    EXPECT_EQ(rig.state.levels.MaxSample, 29203);
    LevelState fresh;
    EXPECT_EQ(FindMaxSample(rig.store, rig.ui, fresh), 29203);
    EXPECT_EQ(fresh.MaxSamplePos, rig.state.levels.MaxSamplePos);
    EXPECT_FLOAT_EQ(rig.store.leftGain, rig.store.rightGain);
    int original = 0;
    for (int16_t v : audio) original = std::max(original, std::abs(static_cast<int>(v)));
    EXPECT_NEAR(rig.store.leftGain, 29203.6 / original, 1e-4);

    // 0 dB of a wave whose maximum is 16384: 16384 -> 32767, 100 -> 199, -3 -> -5.
    Stereo small = silence(1000);
    small[10] = 16384, small[11] = 100, small[12] = -3;
    FilterRig half(small);
    ASSERT_TRUE(Normalise(half.store, half.ui, half.state.levels, 0.0));
    Stereo out = half.working();
    EXPECT_EQ(out[10], 32767);
    EXPECT_EQ(out[11], 199);
    EXPECT_EQ(out[12], -5);
    EXPECT_EQ(half.state.levels.MaxSample, 32767);

    // A silent wave has no peak to scale.
    FilterRig silent(silence(1000));
    EXPECT_FALSE(Normalise(silent.store, silent.ui, silent.state.levels, -1.0));
    EXPECT_EQ(silent.ui.beeps, 1);
    EXPECT_EQ(silent.store.leftGain, 1.0f);
}

TEST(Levels, MaximumCountsOnlyKeptFramesAndOutliersClip) {
    Stereo audio = music(44100, 44100, 22, 4000);
    audio[2 * 20000] = 30000; // a click inside a cut section
    FilterRig rig(audio);
    const int32_t click = rig.store.layout.dataStart + 4 * 20000;
    FrameFilter counts = [&](int32_t frame) { return frame < click - 400 || frame > click + 400; };
    const int max = FindMaxSample(rig.store, rig.ui, rig.state.levels, counts);
    EXPECT_LT(max, 8000);
    EXPECT_NE(rig.state.levels.MaxSamplePos, click);
    EXPECT_EQ(rig.ui.progressTitle, "Finding Maximum Sample");
    // Normalising to that maximum must not wrap the click round to a negative value.
    ASSERT_TRUE(Normalise(rig.store, rig.ui, rig.state.levels, 0.0, counts));
    EXPECT_EQ(workingSample(rig.store, 20000, 0), 32767);
    // Nor must the source read through the gains (Remove Filtering, the comparison display).
    int16_t frame[2];
    rig.store.readSourceWithGains(click, frame, sizeof frame);
    EXPECT_EQ(frame[0], 32767);
}

TEST(Levels, BalanceEstimateAndRebalance) {
    // Right channel 3 dB down.
    const Stereo audio = scaledRight(music(4 * 44100, 44100, 23, 8000), std::pow(10, -3.0 / 20));
    FilterRig rig(audio);
    double all, diff;
    levelSums(audio, all, diff);
    const auto ratio = BalanceEstimate(all, diff, 1.0f, 1.0f);
    ASSERT_TRUE(ratio.has_value());
    EXPECT_NEAR(40 * std::log10(*ratio), 3.0, 0.05);
    EXPECT_EQ(BalanceEstimateText(ratio), "Estimated Correction Required:\nRight +3.0 dB");

    ASSERT_TRUE(AdjustBalance(rig.store, rig.ui, rig.state.levels, *ratio));
    EXPECT_EQ(rig.state.levels.MaxSample, -1);
    double after, afterDiff;
    levelSums(rig.working(), after, afterDiff);
    EXPECT_LT(std::abs(afterDiff) / after, 0.002);
    // Measured again with the gains now in force, nothing is left to correct.
    EXPECT_NEAR(*BalanceEstimate(all, diff, rig.store.leftGain, rig.store.rightGain), 1.0, 1e-6);

    // Left twice as loud as right (sums of absolute values): +6.0 dB to the right.
    EXPECT_EQ(BalanceEstimateText(BalanceEstimate(3.0, -1.0, 1.0f, 1.0f)),
              "Estimated Correction Required:\nRight +6.0 dB");
    EXPECT_EQ(BalanceEstimateText(BalanceEstimate(3.0, 1.0, 1.0f, 1.0f)),
              "Estimated Correction Required:\nLeft +6.0 dB");
    // A silent channel gives no estimate, and a ratio of nothing is refused.
    EXPECT_FALSE(BalanceEstimate(1000.0, 1000.0, 1.0f, 1.0f));
    EXPECT_FALSE(AdjustBalance(rig.store, rig.ui, rig.state.levels, 0.0));
    EXPECT_EQ(rig.ui.beeps, 1);
}

TEST(Levels, BalanceGuardsAgainstOverloadAndGainsFollowTheSource) {
    FilterRig rig(music(2 * 44100, 44100, 24, 25000));
    LevelState& levels = rig.state.levels;
    const int max = FindMaxSample(rig.store, rig.ui, levels);
    ASSERT_GT(max * BalanceRatio(6), 32000); // +6 would overload
    ASSERT_TRUE(AdjustBalance(rig.store, rig.ui, levels, BalanceRatio(6)));
    EXPECT_EQ(rig.ui.progressLines[0], "Adjusting Balance");
    EXPECT_NEAR(rig.store.rightGain / rig.store.leftGain, std::pow(10, 0.3), 1e-4);
    EXPECT_LE(FindMaxSample(rig.store, rig.ui, levels), 32000);
    EXPECT_GE(levels.MaxSample, 31990);

    // The comparison display reads the source through the gains: it matches the working file
    // to within the truncations of the two scalings.
    ASSERT_TRUE(Normalise(rig.store, rig.ui, levels, -3.0));
    const Stereo working = rig.working();
    Stereo source(working.size());
    rig.store.readSourceWithGains(rig.store.layout.dataStart, source.data(), source.size() * 2);
    int worst = 0;
    for (size_t i = 0; i < source.size(); ++i)
        worst = std::max(worst, std::abs(source[i] - working[i]));
    EXPECT_LE(worst, 2);
}

TEST(Levels, DialogTexts) {
    const std::vector<std::pair<int, std::string>> captions = {{-4, "Channel Balance: Left +4dB"},
                                                               {0, "Channel Balance: Off"},
                                                               {6, "Channel Balance: Right +6dB"}};
    for (const auto& [value, text] : captions) EXPECT_EQ(BalanceCaption(value), text);
    EXPECT_EQ(NormaliseLabel(-1), "Set New Peak level to: -1 dB");
    EXPECT_EQ(CurrentPeakText(16384), "Current Peak Level =  -6.0 dB");
    EXPECT_EQ(VolumeAdjustmentsText(1.0f, 0.5f),
              "\nVolume Adjustments\n\tLeft: +0.0dB\n\tRight: -6.0dB");
}
