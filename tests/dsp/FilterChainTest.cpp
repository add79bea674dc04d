#include "dsp/FilterChain.h"
#include "FilterRig.h"
#include "dsp/NoiseProfile.h"

#include <gtest/gtest.h>

#include <functional>

using namespace tarnival;
using namespace tarnival::test;

namespace {

constexpr int kRate = 44100;
constexpr int kBlockFrames = kBlockSize / 4;

Stereo noisyMusic(int frames, uint32_t seed = 9) {
    Stereo s = music(frames, kRate, seed);
    mix(s, hiss(frames, 150, seed + 1));
    return s;
}

// A side with a quiet lead-in, so that a profile can be found or set there.
Stereo tapeSide() {
    Stereo s = silence(2 * kRate);
    append(s, music(6 * kRate, kRate, 12));
    append(s, silence(kRate));
    mix(s, hiss(9 * kRate, 100, 13));
    return s;
}

void setProfile(FilterRig& rig, double from = 0.5, double to = 1.0) {
    rig.state.settings.ProfileStart = rig.pos(from);
    rig.state.settings.ProfileEnd = rig.pos(to);
}

// Stand-in for the correction run: rewrites a few short stretches with a fixed pattern.
void writeCorrections(WaveStore& store) {
    std::vector<int16_t> patch(64, 1234);
    for (int frame : {30000, 90001, 150002})
        store.writeWorking(framePosition(store, frame), patch.data(), patch.size() * 2);
}

int maxDifference(const Stereo& a, const Stereo& b, size_t from = 0, size_t to = SIZE_MAX) {
    int worst = 0;
    for (size_t i = from; i < std::min({a.size(), b.size(), to}); ++i)
        worst = std::max(worst, std::abs(a[i] - b[i]));
    return worst;
}

} // namespace

TEST(FilterChain, HighPassRemovesRumbleAndKeepsTheMusic) {
    struct Case {
        int rate;
        double freq, minCut, maxCut; // dB
    };
    for (Case c : {Case{44100, 20, 18.5, 20}, Case{44100, 1000, -0.1, 0.1},
                   Case{48000, 20, 20, 21.5}, Case{48000, 1000, -0.1, 0.1}}) {
        FilterRig rig(tone(3 * c.rate, c.freq, 10000, c.rate), c.rate);
        FilterContext ctx = rig.ctx();
        EXPECT_FALSE(RunHighPass(ctx, CurrentRange(ctx)).cancelled);
        double cut = db(amplitudeAt(rig.input, c.freq, c.rate, 2 * c.rate, 0, c.rate) /
                        amplitudeAt(rig.working(), c.freq, c.rate, 2 * c.rate, 0, c.rate));
        EXPECT_GE(cut, c.minCut) << c.rate << " Hz, tone " << c.freq;
        EXPECT_LE(cut, c.maxCut) << c.rate << " Hz, tone " << c.freq;
    }
}

TEST(FilterChain, HissFilterLowersWhiteNoiseByItsLevel) {
    // Measured on the first difference, which weights the hiss band: the lowest ten bins have
    // lower thresholds by design and would dominate a plain RMS at the deeper levels.
    auto hissBand = [](const Stereo& s) {
        Stereo d(s.size());
        for (size_t i = 2; i < s.size(); ++i) d[i] = static_cast<int16_t>((s[i] - s[i - 2]) / 2);
        return rms(d, kRate / 2, 7 * kRate / 2);
    };
    for (int level = 1; level <= 3; ++level) {
        FilterRig rig(hiss(4 * kRate, 1000));
        setProfile(rig);
        FilterContext ctx = rig.ctx();
        RunSpectralFilter(ctx, CurrentRange(ctx), kModeHiss, level);
        EXPECT_NEAR(db(hissBand(rig.input) / hissBand(rig.working())), 6 * level + 2, 1.0)
            << "level " << level;
    }
}

TEST(FilterChain, TrebleShelfStepsFourDecibelsAtTenKilohertzWithoutDelay) {
    for (int level : {-3, -2, -1, 1, 2, 3}) {
        FilterRig rig(tone(kRate, 10000, 2000));
        FilterContext ctx = rig.ctx();
        RunTreble(ctx, CurrentRange(ctx), level);
        double gain = db(amplitudeAt(rig.working(), 10000, kRate / 5, kRate * 4 / 5) /
                         amplitudeAt(rig.input, 10000, kRate / 5, kRate * 4 / 5));
        EXPECT_NEAR(gain, 4 * level, 0.25) << "level " << level;

        // Low frequencies pass in place: a 7-frame lag would differ by a fifth of the peak.
        FilterRig low(tone(kRate, 200, 8000));
        FilterContext lowCtx = low.ctx();
        RunTreble(lowCtx, CurrentRange(lowCtx), level);
        EXPECT_LT(maxDifference(low.input, low.working(), 2000, 80000), 320) << level;
    }
}

TEST(FilterChain, SpectralPassWithUnityGainsReturnsItsInput) {
    // Graphic mode with the flat curve: window, transform, inverse and overlap-add alone. The
    // length leaves a partial hop at the end; the block starts and ends off the hop grid.
    FilterRig rig(noisyMusic(3 * kRate + 777));
    FilterContext ctx = rig.ctx();
    EXPECT_FALSE(RunSpectralFilter(ctx, CurrentRange(ctx), kModeGraphic, 0).cancelled);
    EXPECT_LE(maxDifference(rig.input, rig.working()), 1);
    FilterRig block(rig.input);
    FilterContext blockCtx = block.ctx();
    blockCtx.blockStart = block.pos(0.7) + 12;
    blockCtx.blockEnd = block.pos(2.1) - 40;
    RunSpectralFilter(blockCtx, CurrentRange(blockCtx), kModeGraphic, 0);
    EXPECT_LE(maxDifference(block.input, block.working()), 1);
}

TEST(FilterChain, BlockPassesLeaveTheRestOfTheFileAlone) {
    FilterRig rig(noisyMusic(4 * kRate));
    setProfile(rig, 0.2, 0.6);
    for (int k = 100; k < 200; ++k) rig.state.tables.GraphicGain[k] = 0.3f;
    FilterContext ctx = rig.ctx();
    ctx.blockStart = rig.pos(1.3) + 8;
    ctx.blockEnd = rig.pos(2.6) + 4;
    const auto before = workingBytes(rig.store);
    const FilterRange range = CurrentRange(ctx);
    RunHighPass(ctx, range);
    RunSpectralFilter(ctx, range, kModeHiss | kModeHum | kModeGraphic, 2);
    RunTreble(ctx, range, 2);
    const auto changed = changedFrames(rig.store, before, workingBytes(rig.store));
    ASSERT_GT(changed.size(), 50000u);
    const int first = (ctx.blockStart - rig.store.layout.dataStart) / 4;
    const int end = (ctx.blockEnd - rig.store.layout.dataStart) / 4;
    EXPECT_GE(changed.front(), first);
    EXPECT_LE(changed.front(), first + 2);
    EXPECT_LT(changed.back(), end);
    EXPECT_GE(changed.back(), end - 3);
}

TEST(FilterChain, CancelledPassesLeaveWholeBlocksFilteredOrUntouched) {
    using Run = std::function<PassResult(FilterContext&)>;
    const std::vector<std::pair<const char*, Run>> passes = {
        {"high-pass", [](FilterContext& c) { return RunHighPass(c, CurrentRange(c)); }},
        {"spectral",
         [](FilterContext& c) { return RunSpectralFilter(c, CurrentRange(c), kModeHiss, 3); }},
        {"treble", [](FilterContext& c) { return RunTreble(c, CurrentRange(c), -3); }},
    };
    const Stereo audio = noisyMusic(kBlockFrames * 9 / 2);
    for (const auto& [name, run] : passes) {
        FilterRig whole(audio);
        setProfile(whole);
        FilterContext wholeCtx = whole.ctx();
        run(wholeCtx);
        const Stereo filtered = whole.working();

        FilterRig rig(audio);
        setProfile(rig);
        rig.ui.cancelAt = {3};
        int32_t cancelPosition = -1;
        FilterContext ctx = rig.ctx();
        ctx.cancelPosition = &cancelPosition;
        PassResult r = run(ctx);
        ASSERT_TRUE(r.cancelled) << name;
        EXPECT_EQ(r.cancelPosition, rig.store.layout.dataStart + 2 * kBlockSize) << name;
        EXPECT_EQ(cancelPosition, r.cancelPosition);
        EXPECT_EQ(rig.ui.questions, std::vector<std::string>{kFilterCancelQuestion});
        const Stereo out = rig.working();
        const size_t split = 2 * 2 * kBlockFrames;
        EXPECT_EQ(Stereo(out.begin(), out.begin() + split),
                  Stereo(filtered.begin(), filtered.begin() + split))
            << name;
        EXPECT_EQ(Stereo(out.begin() + split, out.end()),
                  Stereo(audio.begin() + split, audio.end()))
            << name;

        // Answering No carries on to the end.
        FilterRig declined(audio);
        setProfile(declined);
        declined.ui.cancelAt = {2};
        declined.ui.answers = {Answer::No};
        FilterContext declinedCtx = declined.ctx();
        EXPECT_FALSE(run(declinedCtx).cancelled);
        EXPECT_EQ(declined.working(), filtered) << name;
    }
    // Before the file is scanned the treble pass takes no notice of Cancel.
    FilterRig unscanned(audio);
    unscanned.ui.cancelAt = {1, 2};
    FilterContext ctx = unscanned.ctx();
    ctx.scanned = false;
    EXPECT_FALSE(RunTreble(ctx, CurrentRange(ctx), 2).cancelled);
    EXPECT_TRUE(unscanned.ui.questions.empty());
}

TEST(FilterChain, ApplyAndRemoveFilteringAroundCorrectionsAndGains) {
    // Gains as after a normalise: the working file is the source scaled, then corrected.
    FilterRig rig(tapeSide(), kRate, 0.8f, 0.9f);
    setProfile(rig);
    bool filteredShown = false;
    FilterContext ctx = rig.ctx();
    ctx.hasCorrections = true;
    ctx.remakeCorrections = [&] { writeCorrections(rig.store); };
    ctx.waveFiltered = [&](bool f) { filteredShown = f; };
    bool modified = false;
    ctx.modified = &modified;
    writeCorrections(rig.store);
    const auto corrected = workingBytes(rig.store);

    FilterSettings& s = rig.state.settings;
    s.RumbleOn = s.HissOn = s.TrebleOn = s.GraphicOn = true;
    s.HissLevel = 2;
    s.TrebleLevel = 1;
    s.GraphicName = "Warm";
    EXPECT_FALSE(ApplyFilters(ctx).cancelled);
    EXPECT_EQ(rig.ui.progressTitle, "Applying Filters");
    EXPECT_EQ(rig.ui.tasks,
              (std::vector<std::string>{"Rumble Filter", "Hiss/Graphic Filter", "Treble Lift"}));
    EXPECT_TRUE(filteredShown && modified);
    EXPECT_NE(workingBytes(rig.store), corrected);
    EXPECT_EQ(AppliedFiltersSummary(rig.state.applied),
              "Currently Applied Filters:\nRumble, Hiss, Graphic - Warm, Treble.");
    EXPECT_EQ(AppliedFiltersReport(rig.state.applied),
              "Currently Applied Filters:\n\tRumble\n\tHiss\n\tGraphic - Warm\n"
              "\nTreble Control: +4dB\n");
    const auto once = workingBytes(rig.store);

    // Replace Existing starts again from the corrected wave: the same result.
    EXPECT_FALSE(ApplyFilters(ctx).cancelled);
    EXPECT_EQ(rig.ui.tasks[0], "Remove existing filters");
    EXPECT_EQ(rig.ui.tasks[1], "Recover Corrections");
    EXPECT_EQ(workingBytes(rig.store), once);
    EXPECT_EQ(rig.state.applied.AppliedHiss, 2);

    // Superimposed runs add up, within their limits.
    s.ApplyMode = FilterApply::Superimpose;
    s.RumbleOn = s.GraphicOn = false;
    s.TrebleLevel = 2;
    ApplyFilters(ctx);
    EXPECT_NE(workingBytes(rig.store), once);
    EXPECT_EQ(rig.state.applied.AppliedHiss, 3);
    EXPECT_EQ(rig.state.applied.AppliedTreble, 3);
    EXPECT_TRUE(rig.state.applied.AppliedRumble);

    rig.ui.answers = {Answer::Cancel};
    EXPECT_FALSE(RemoveFilteringCommand(ctx));
    EXPECT_TRUE(rig.state.applied.Filtered);
    EXPECT_TRUE(RemoveFilteringCommand(ctx));
    EXPECT_EQ(rig.ui.tasks,
              (std::vector<std::string>{"Remove existing filters", "Recover Corrections"}));
    EXPECT_EQ(workingBytes(rig.store), corrected);
    EXPECT_FALSE(filteredShown);
    EXPECT_EQ(AppliedFiltersSummary(rig.state.applied), "Currently Applied Filters:\nNone");
    EXPECT_EQ(AppliedFiltersReport(rig.state.applied),
              "Currently Applied Filters:\n\tNone\n\nTreble Control: None\n");
}

TEST(FilterChain, ApplyFiltersPutsTheWaveBackAfterACancel) {
    const Stereo audio = noisyMusic(kBlockFrames * 9 / 2);
    // With corrections: cancelled in the spectral pass (the high-pass takes pumps 1-5).
    {
        FilterRig rig(audio);
        setProfile(rig);
        FilterContext ctx = rig.ctx();
        ctx.hasCorrections = true;
        ctx.remakeCorrections = [&] { writeCorrections(rig.store); };
        writeCorrections(rig.store);
        const auto corrected = workingBytes(rig.store);
        rig.state.settings.RumbleOn = rig.state.settings.HissOn = true;
        rig.ui.cancelAt = {7};
        EXPECT_TRUE(ApplyFilters(ctx).cancelled);
        EXPECT_EQ(rig.ui.tasks,
                  (std::vector<std::string>{"Rumble Filter", "Operation Cancelled",
                                            "Recover Waveform", "Recover Corrections"}));
        EXPECT_EQ(rig.ui.markedTask, 1);
        EXPECT_EQ(workingBytes(rig.store), corrected);
        EXPECT_FALSE(rig.state.applied.any() || rig.state.applied.Filtered);
    }
    // Nothing else to recover: the first pass is undone up to where it stopped.
    {
        FilterRig rig(audio);
        FilterContext ctx = rig.ctx();
        rig.state.settings.TrebleOn = true;
        rig.state.settings.TrebleLevel = -2;
        rig.ui.cancelAt = {2};
        EXPECT_TRUE(ApplyFilters(ctx).cancelled);
        EXPECT_EQ(rig.working(), audio);
        EXPECT_EQ(rig.ui.tasks[1], "Recover Waveform");
    }
}

TEST(FilterChain, FilterTestMatchesABlockRunWithoutWritingTheFile) {
    const Stereo audio = tapeSide();
    FilterRig rig(audio);
    setProfile(rig);
    FilterSettings& s = rig.state.settings;
    s.RumbleOn = s.HissOn = s.TrebleOn = true;
    s.HissLevel = 2;
    s.TrebleLevel = -1;
    FilterContext ctx = rig.ctx();
    const FilterRange stretch = TestStretch(rig.store.layout, rig.pos(2.5) + 2, false);
    EXPECT_EQ(stretch.end - stretch.start, 704000);
    const auto before = workingBytes(rig.store);
    const Stereo tested = FilterTest(ctx, stretch, Effective(s, true));
    EXPECT_EQ(workingBytes(rig.store), before);

    FilterRig reference(audio);
    reference.state.settings = s;
    FilterContext refCtx = reference.ctx();
    refCtx.blockStart = static_cast<int32_t>(stretch.start);
    refCtx.blockEnd = static_cast<int32_t>(stretch.end);
    ApplyFilters(refCtx);
    const Stereo applied = reference.working();
    const size_t first = static_cast<size_t>(stretch.start - rig.store.layout.dataStart) / 2;
    EXPECT_EQ(tested, Stereo(applied.begin() + static_cast<ptrdiff_t>(first),
                             applied.begin() + static_cast<ptrdiff_t>(first + tested.size())));

    // Near the end the stretch stops at the audio.
    const FilterRange tail = TestStretch(rig.store.layout, rig.pos(8.5), true);
    EXPECT_EQ(tail.end, rig.store.layout.dataEnd);
}

TEST(FilterChain, TapeBranchFindsAProfileAndRemovesHiss) {
    FilterRig rig(tapeSide());
    FilterContext ctx = rig.ctx();
    ctx.waveNotCorrected = true;
    TapeHissResult r = ApplyTapeHiss(ctx, 2);
    EXPECT_TRUE(r.profileFound && r.filtered && !r.cancelled);
    EXPECT_TRUE(rig.ui.messages.empty());
    EXPECT_EQ(rig.state.applied.AppliedHiss, 2);
    EXPECT_TRUE(rig.state.applied.Filtered);
    const Stereo out = rig.working();
    EXPECT_GT(db(rms(rig.input, kRate / 5, kRate) / rms(out, kRate / 5, kRate)), 12.0);
    EXPECT_NEAR(db(rms(rig.input, 3 * kRate, 7 * kRate) / rms(out, 3 * kRate, 7 * kRate)), 0, 1);

    // Cancelled: the caller restores up to where the filter stopped.
    FilterRig stopped(tapeSide());
    stopped.ui.cancelAt = {2};
    FilterContext stoppedCtx = stopped.ctx();
    r = ApplyTapeHiss(stoppedCtx, 1);
    ASSERT_TRUE(r.cancelled);
    EXPECT_EQ(stopped.ui.questions, std::vector<std::string>{kTapeHissCancelQuestion});
    EXPECT_NE(stopped.working(), stopped.input);
    RestoreUnfiltered(stoppedCtx, r.cancelPosition);
    EXPECT_EQ(stopped.working(), stopped.input);
    EXPECT_FALSE(stopped.state.applied.any());

    // Too short to hold a profile.
    FilterRig tiny(hiss(400, 50));
    FilterContext tinyCtx = tiny.ctx();
    r = ApplyTapeHiss(tinyCtx, 1);
    EXPECT_FALSE(r.profileFound || r.filtered);
    EXPECT_EQ(tiny.ui.messages, std::vector<std::string>{"The Hiss Filter is disabled because a "
                                                         "noise profile could not be identified."});
    EXPECT_EQ(tiny.working(), tiny.input);
}

TEST(FilterChain, BatchRunLogsEachPassAndCaptionsFollowTheLevels) {
    FilterRig rig(tapeSide());
    FilterSettings& s = rig.state.settings;
    s.RumbleOn = s.HumOn = s.HissOn = s.TrebleOn = s.GraphicOn = true;
    s.HissLevel = 1;
    s.TrebleLevel = 2;
    s.GraphicName = "Warm";
    std::vector<std::string> log;
    FilterContext ctx = rig.ctx();
    ctx.batchLog = [&](const std::string& line) { log.push_back(line); };
    EXPECT_TRUE(RunBatchFilters(ctx));
    EXPECT_EQ(log, (std::vector<std::string>{"\t\tRumble Filter\r\n",
                                             "\t\tHiss/Hum/Graphic (Warm) Filter\r\n",
                                             "\t\tTreble Lift\r\n"}));
    EXPECT_EQ(BatchFilterSummary(s, "Warm"),
              "Hiss: 8\r\nTreble: +8\r\nHum\r\nRumble\r\nGraphic - Warm");
    EXPECT_EQ(BatchFilterSummary(FilterSettings{}, ""), "None");

    const std::vector<std::pair<int, std::string>> hiss = {
        {0, "Hiss Reduction: Off"}, {1, "Hiss Reduction: 8dB"}, {3, "Hiss Reduction: 20dB"}};
    for (const auto& [level, text] : hiss) EXPECT_EQ(HissCaption(level), text);
    const std::vector<std::pair<int, std::string>> treble = {
        {-3, "Treble Control: -12dB"}, {0, "Treble Control: Off"}, {2, "Treble Control: +8dB"}};
    for (const auto& [level, text] : treble) EXPECT_EQ(TrebleCaption(level), text);
}
