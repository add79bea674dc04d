#include "scan/PreciseRepair.h"

#include "document/CorrectionList.h"
#include "document/Profile.h"
#include "dsp/Fft.h"
#include "scan/ClickDetector.h"
#include "scan/CorrectionEditor.h"
#include "scan/CorrectionGenerator.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"
#include "synth/Material.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numeric>
#include <random>

using namespace tarnival;
using namespace tarnival::test;

namespace {

constexpr int kFileFrames = 60000;
constexpr int kC = 30000; // first frame of the click under test
constexpr double kTau = 6.283185307179586;

Stereo sine(int frames) {
    Stereo s(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        s[static_cast<size_t>(i) * 2] = static_cast<int16_t>(6000 * std::sin(kTau * i / 97.3));
        s[static_cast<size_t>(i) * 2 + 1] =
            static_cast<int16_t>(5000 * std::sin(kTau * i / 61.7 + 1.0));
    }
    return s;
}

Stereo musicWithHiss(int frames) {
    Stereo s = music(frames, 44100, 9, 6000.0);
    mix(s, hiss(frames, 12.0, 19));
    return s;
}

int16_t sampleOf(const std::vector<uint8_t>& image, const WaveStore& store, int frame, int ch) {
    int16_t v;
    std::memcpy(&v, image.data() + store.layout.dataStart + 4 * frame + 2 * ch, 2);
    return v;
}

// Reads the detector's scan over the source, block by block as the load does.
void scanAll(WaveStore& store, CFft& fft, CorrectionList& list, RepairMethod method,
             bool bufferIsSource = false) {
    ScanSettings settings;
    settings.sensitivity = 3;
    settings.repairMethod = repairMethodId(method);
    ClickDetector detector(list, store, fft, nullptr, DetectorOptions::fromSettings(settings));
    detector.beginScan();
    const WaveLayout& l = store.layout;
    std::vector<int16_t> buffer(ClickDetector::kBufferSamples);
    for (int64_t G = int64_t{l.dataStart} + kChunkSize; G < int64_t{l.dataEnd} - kChunkSize;
         G += kBlockSize) {
        std::fill(buffer.begin(), buffer.end(), 0);
        const size_t got = store.source.readAt(
            G, buffer.data(),
            static_cast<size_t>(std::min<int64_t>(buffer.size() * 2, l.dataEnd - G)));
        int count = ClickDetector::kBlockSamples;
        if (got < buffer.size() * 2) count = std::max(0, (static_cast<int>(got) - 7096) / 2);
        detector.scanBlock(static_cast<int32_t>(G), buffer.data(), count, bufferIsSource);
    }
    detector.finishScan();
}

class Precise : public ::testing::Test {
  protected:
    TempDir dir;
    WaveStore store;
    CFft fft;
    CorrectionGenerator gen{fft, RepairMethod::Precise};

    // A record as the detector gives one in precise mode, centred on the click.
    Correction recordAt(const synth::ShapedClick& c, int32_t width = 160) {
        return Correction{1, 0, framePosition(store, c.frame + c.widthFrames / 2), width, 40};
    }
};

TEST_F(Precise, RepairsOnlyTheDamagedSamples) {
    using enum synth::ClickShape;
    struct Case {
        const char* signal;
        int width;
        bool left, right;
        double maxErrorShare; // error left over the click / damage, in energy
        synth::ClickShape shape = Impulse;
        int amplitude = 9000;
        int32_t magnitude = 40; // as the detector rated it
    };
    // A pulse's smooth tail leaves no prediction error of its own: it is found against an
    // interpolation, and must be taken in without straying outside the click.
    const Case cases[] = {
        {"sine", 1, true, true, 1e-3},
        {"sine", 40, true, true, 1e-3},
        {"sine", 1, true, false, 1e-3},
        {"sine", 40, false, true, 1e-3},
        {"music", 1, true, true, 1e-2},
        {"music", 40, true, true, 0.05},
        {"music", 1, false, true, 1e-2},
        {"music", 40, true, false, 0.05},
        {"sine", 40, true, true, 0.05, Pulse, 1500},
        {"music", 24, true, true, 0.1, Pulse, 1500},
        {"music", 48, false, true, 0.1, Pulse, 1500},
        {"music", 40, true, true, 0.05, Impulse, 9000, 2},   // barely detected, but short
        {"music", 110, true, true, 0.05, Impulse, 24000, 2}, // ... or towering over the music
        {"drums", 40, true, false, 0.3, Pulse, 12000, 2},
        {"drums", 48, true, true, 0.3, Pulse, -9000, 2},
        {"drums", 30, false, true, 0.3, Impulse, 9000, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.signal) + " width " + std::to_string(k.width) +
                     (k.left ? " L" : "") + (k.right ? " R" : "") +
                     (k.shape == Pulse ? " pulse" : ""));
        const std::string signal = k.signal;
        const Stereo clean = signal == "sine" ? sine(kFileFrames)
                             : signal == "music"
                                 ? musicWithHiss(kFileFrames)
                                 : synth::material(synth::Material::Drums, kFileFrames, 44100, 5);
        Stereo damaged = clean;
        synth::ShapedClick click;
        click.frame = kC;
        click.widthFrames = k.width;
        click.amplitude = k.amplitude;
        click.left = k.left;
        click.right = k.right;
        click.shape = k.shape;
        synth::addShapedClick(damaged, click);
        TempDir here;
        WaveStore s;
        openStore(s, here, damaged);
        const auto before = workingBytes(s);

        const Correction c{1, 0, framePosition(s, kC + k.width / 2), 160, k.magnitude};
        ASSERT_TRUE(gen.Apply(c, s));
        EXPECT_EQ(gen.preciseCounts().repaired, 1);
        gen.setMethod(RepairMethod::Precise); // counts afresh for the next case
        const auto after = workingBytes(s);

        double damage = 0, left = 0;
        for (int f = 0; f < kFileFrames; ++f)
            for (int ch = 0; ch < 2; ++ch) {
                const int16_t was = sampleOf(before, s, f, ch);
                const int16_t now = sampleOf(after, s, f, ch);
                const bool hit = ch == 0 ? k.left : k.right;
                // The frame just after a click may be made again; its error counts as left over.
                const bool inClick = hit && f >= kC && f <= kC + k.width;
                if (!inClick) {
                    ASSERT_EQ(was, now) << "frame " << f << " channel " << ch;
                    continue;
                }
                const double truth = clean[static_cast<size_t>(2 * f + ch)];
                damage += (was - truth) * (was - truth);
                left += (now - truth) * (now - truth);
            }
        EXPECT_LE(left, k.maxErrorShare * damage) << left << " of " << damage;
    }
}

TEST_F(Precise, LongDamageBarelyDetectedIsLeftAlone) {
    // Such a stretch is more often the attack of a note than a click: only a detection well above
    // the threshold may rewrite it.
    Stereo damaged = musicWithHiss(kFileFrames);
    synth::ShapedClick click;
    click.frame = kC;
    click.widthFrames = 110;
    click.amplitude = 9000;
    synth::addShapedClick(damaged, click);
    for (const int32_t magnitude : {2, 40}) {
        SCOPED_TRACE(magnitude);
        TempDir here;
        WaveStore s;
        openStore(s, here, damaged);
        const auto before = workingBytes(s);
        gen.setMethod(RepairMethod::Precise);
        gen.Apply(Correction{1, 0, framePosition(s, kC + 55), 160, magnitude}, s);
        EXPECT_EQ(changedFrames(s, before, workingBytes(s)).empty(), magnitude == 2);
    }
}

TEST_F(Precise, DrumOnsetsWithoutClicksAreLeftAlone) {
    // Six seconds of a drum kit over a bass line, and no click.
    const Stereo drums = synth::material(synth::Material::Drums, 6 * 44100, 44100, 5);
    openStore(store, dir, drums);
    const auto original = workingBytes(store);

    // The standard method takes hits for clicks and rewrites them; the precise one leaves every
    // sample as it was.
    CorrectionList standard, precise;
    scanAll(store, fft, standard, RepairMethod::Standard);
    CorrectionGenerator plain(fft);
    ScriptedUi ui;
    MakeOptions options;
    options.blockList = true;
    MakeCorrections(standard, plain, store, ui, options);
    EXPECT_GT(changedFrames(store, original, workingBytes(store)).size(), 0u);
    setWorkingBytes(store, original);

    scanAll(store, fft, precise, RepairMethod::Precise);
    // Given the scanned block as the source, the onset guard reads it instead of the file, and
    // must decide the same at every candidate, near the block edges too.
    CorrectionList fromBlocks;
    scanAll(store, fft, fromBlocks, RepairMethod::Precise, true);
    ASSERT_EQ(fromBlocks.count(), precise.count());
    for (int i = 0; i < precise.count(); ++i) EXPECT_EQ(fromBlocks[i], precise[i]) << i;
    MakeCorrections(precise, gen, store, ui, options);
    EXPECT_EQ(changedFrames(store, original, workingBytes(store)).size(), 0u);
    EXPECT_LT(precise.count(), standard.count());

    // The records the standard scan made, applied the precise way (a list made in standard
    // mode, or put there by the user), change nothing either.
    MakeCorrections(standard, gen, store, ui, options);
    EXPECT_EQ(changedFrames(store, original, workingBytes(store)).size(), 0u);
}

TEST_F(Precise, AttacksOfNotesAreLeftAlone) {
    // Wide records about two attacks of plucked notes, and no click: the onset guard knows them.
    // Without the guard, and with the least-squares models alone, each attack is taken for a long
    // run of damage and the interpolation over it overshoots the notes around: a failed model
    // rather than a repair, so nothing is written either.
    constexpr int kFrames = 62 * 44100;
    const Stereo notes = synth::material(synth::Material::Plucked, kFrames, 44100, 11);
    openStore(store, dir, notes);
    const auto original = workingBytes(store);
    for (const bool guard : {true, false}) {
        SCOPED_TRACE(guard ? "guard" : "no guard");
        PreciseRepair::Tuning tuning;
        tuning.onsetGuard = guard;
        if (!guard) tuning.windowedRun = PreciseRepair::kMaxRun + 1;
        auto repair = std::make_unique<PreciseRepair>(tuning);
        for (const int attack : {441565, 492823})
            for (int f = attack - 240; f <= attack + 240; f += 16)
                repair->apply(Correction{1, 0, framePosition(store, f), 300, 40}, store);
        EXPECT_EQ(changedFrames(store, original, workingBytes(store)).size(), 0u);
    }
}

TEST_F(Precise, ReapplyAfterAnEditGivesTheSameAudio) {
    // Two clicks 310 frames apart: their spans do not overlap, but each lies in the audio the
    // other's model is fitted to.
    Stereo audio = musicWithHiss(kFileFrames);
    synth::ShapedClick a{kC, 12, 7000}, b{kC + 310, 30, -5000};
    b.shape = synth::ClickShape::Pulse;
    synth::addShapedClick(audio, a);
    synth::addShapedClick(audio, b);
    openStore(store, dir, audio);
    const auto damaged = workingBytes(store);

    CorrectionList list;
    list.insertOrdered(recordAt(a));
    list.insertOrdered(recordAt(b));
    ScriptedUi ui;
    MakeOptions options;
    options.blockList = true;
    MakeCorrections(list, gen, store, ui, options);
    const auto made = workingBytes(store);
    ASSERT_GT(changedFrames(store, damaged, made).size(), 0u);

    // Restoring the first click's cluster and applying it again (what an edit does): the second
    // click is repaired by now, which must not change the first one's samples.
    CorrectionEditor editor(list, store, gen);
    editor.RestoreCluster(1, false);
    EXPECT_GT(changedFrames(store, made, workingBytes(store)).size(), 0u);
    editor.RestoreCluster(1, true);
    EXPECT_EQ(changedFrames(store, made, workingBytes(store)).size(), 0u);

    // The same after switching a channel off and on again.
    editor.ToggleChannel(2, true);
    editor.ToggleChannel(2, true);
    EXPECT_EQ(changedFrames(store, made, workingBytes(store)).size(), 0u);
}

TEST_F(Precise, DamageTooWideToInterpolateGoesTheStandardWay) {
    // A scratch: 180 frames of loud noise in a steady tone.
    Stereo audio = sine(kFileFrames);
    std::mt19937 rng(8);
    std::normal_distribution<double> noise(0.0, 4000.0);
    for (int f = kC - 90; f < kC + 90; ++f)
        for (int ch = 0; ch < 2; ++ch) {
            auto& v = audio[static_cast<size_t>(2 * f + ch)];
            v = static_cast<int16_t>(std::clamp(v + noise(rng), -32768.0, 32767.0));
        }
    openStore(store, dir, audio);
    const auto original = workingBytes(store);
    const Correction c{1, 0, framePosition(store, kC), 300, 60};

    CorrectionGenerator standard(fft);
    ASSERT_TRUE(standard.Apply(c, store));
    const auto expected = workingBytes(store);
    setWorkingBytes(store, original);

    ASSERT_TRUE(gen.Apply(c, store));
    EXPECT_EQ(gen.preciseCounts().standard, 1);
    EXPECT_EQ(changedFrames(store, expected, workingBytes(store)).size(), 0u);
}

TEST_F(Precise, ScanAndCorrectTouchesTheClicksAlone) {
    struct Case {
        const char* name;
        Stereo clean;
        int maxWidth;
        double maxErrorShare; // error left / damage, in energy: at each click, or over them all
        bool each;
    };
    // In loud drums much of the damage hides in noise that nothing can predict, and many clicks
    // lie below the detector's threshold: only the whole is judged there, and the scan must
    // find more of them than the standard one does.
    Case cases[] = {
        {"music", musicWithHiss(kFileFrames * 3), 30, 0.1, true},
        {"drums", synth::material(synth::Material::Drums, 8 * 44100, 44100, 3), 60, 0.3, false},
    };
    for (Case& k : cases) {
        SCOPED_TRACE(k.name);
        const Stereo& clean = k.clean;
        Stereo damaged = clean;
        synth::ClickPlan plan;
        plan.count = 24;
        plan.fromFrame = 8000;
        plan.toFrame = static_cast<int>(clean.size() / 2) - 8000;
        plan.minGap = 1000;
        plan.maxWidth = k.maxWidth;
        const auto clicks = synth::addShapedClicks(damaged, plan, 12);
        TempDir here;
        WaveStore s;
        openStore(s, here, damaged);

        auto covered = [&](const CorrectionList& list, const synth::ShapedClick& c) {
            for (int i = 1; i < list.count() - 1; ++i) {
                const int centre = (list[i].position - s.layout.dataStart) / 4;
                if (std::abs(centre - c.frame) < 64) return true;
            }
            return false;
        };
        CorrectionList list, standard;
        scanAll(s, fft, list, RepairMethod::Precise);
        scanAll(s, fft, standard, RepairMethod::Standard);
        auto found = [&](const CorrectionList& l) {
            return std::count_if(clicks.begin(), clicks.end(),
                                 [&](const auto& c) { return covered(l, c); });
        };
        if (!k.each) {
            EXPECT_GT(found(list), found(standard));
        }
        ScriptedUi ui;
        MakeOptions options;
        options.blockList = true;
        gen.setMethod(RepairMethod::Precise);
        MakeCorrections(list, gen, s, ui, options);
        for (int i = 1; i < list.count() - 1; ++i)
            EXPECT_GE(list[i].width & width_flags::kBytesMask, DetectorOptions::kPreciseMinWidth);

        const auto after = workingBytes(s);
        std::vector<int> owner(clean.size() / 2, -1);
        for (size_t c = 0; c < clicks.size(); ++c)
            for (int f = clicks[c].frame - 16; f < clicks[c].frame + clicks[c].widthFrames + 16;
                 ++f)
                owner[static_cast<size_t>(f)] = static_cast<int>(c);
        std::vector<double> damage(clicks.size()), left(clicks.size());
        for (size_t f = 0; f < owner.size(); ++f)
            for (int ch = 0; ch < 2; ++ch) {
                const double truth = clean[2 * f + static_cast<size_t>(ch)];
                const double was = damaged[2 * f + static_cast<size_t>(ch)];
                const double now = sampleOf(after, s, static_cast<int>(f), ch);
                if (owner[f] < 0) {
                    ASSERT_EQ(now, was) << "frame " << f << " away from every click was changed";
                    continue;
                }
                damage[static_cast<size_t>(owner[f])] += (was - truth) * (was - truth);
                left[static_cast<size_t>(owner[f])] += (now - truth) * (now - truth);
            }
        for (size_t c = 0; c < clicks.size() && k.each; ++c)
            EXPECT_LE(left[c], k.maxErrorShare * damage[c])
                << "click at " << clicks[c].frame << " width " << clicks[c].widthFrames;
        const double allLeft = std::accumulate(left.begin(), left.end(), 0.0);
        EXPECT_LE(allLeft, k.maxErrorShare * std::accumulate(damage.begin(), damage.end(), 0.0));
    }
}

TEST(RepairMethodSetting, StoredAsItsOwnIdentifiers) {
    MemoryProfile empty;
    ScanSettings s;
    s.load(empty);
    EXPECT_EQ(s.method(), RepairMethod::Standard);
    EXPECT_EQ(DetectorOptions::fromSettings(s).method, RepairMethod::Standard);

    s.repairMethod = repairMethodId(RepairMethod::Precise);
    MemoryProfile store;
    s.save(store);
    EXPECT_EQ(store.getInt("Settings", "Repair Method", 0), 1702);
    ScanSettings back;
    back.load(store);
    EXPECT_EQ(back.method(), RepairMethod::Precise);
    EXPECT_EQ(DetectorOptions::fromSettings(back).method, RepairMethod::Precise);

    // Anything else a store holds (an old control id, garbage) is the standard method.
    for (int stored : {1701, 1303, 0, -1, 1703}) {
        store.setInt("Settings", "Repair Method", stored);
        back.load(store);
        EXPECT_EQ(back.method(), RepairMethod::Standard) << stored;
    }
}

} // namespace

namespace {

// Two channels of steady noise with a stretch at [kAt, kAt + 16); after it each channel may
// change level (the factor on its amplitude) or take up a tone.
struct OnsetCase {
    const char* what;
    double leftAfter, rightAfter; // amplitude after the stretch, over before
    double toneAfter;             // a new tone in the left channel after the stretch
    double level;                 // amplitude of the noise before
    bool click;                   // a large impulse in the stretch
    bool onset;
};

constexpr int kOnsetFrames = 4000, kAt = 2000;

std::vector<int16_t> onsetScene(const OnsetCase& c) {
    std::mt19937 rng(11);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<int16_t> f(2 * kOnsetFrames);
    for (int i = 0; i < kOnsetFrames; ++i) {
        const bool after = i >= kAt;
        const double l = c.level * noise(rng) * (after ? c.leftAfter : 1.0) +
                         (after ? c.toneAfter * std::sin(kTau * i / 37.0) : 0.0);
        const double r = c.level * noise(rng) * (after ? c.rightAfter : 1.0);
        f[2 * static_cast<size_t>(i)] = static_cast<int16_t>(std::clamp(l, -32768.0, 32767.0));
        f[2 * static_cast<size_t>(i) + 1] = static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
    }
    if (c.click)
        for (int i = kAt; i < kAt + 16; ++i) f[2 * static_cast<size_t>(i)] = 20000;
    return f;
}

} // namespace

TEST(MusicalOnset, RiseThatStaysAgainstClicksAndFades) {
    const OnsetCase cases[] = {
        {"both channels louder", 8.0, 8.0, 0.0, 400.0, false, true},
        {"left louder, right steady", 8.0, 1.0, 0.0, 400.0, false, true},
        {"right louder, left steady", 1.0, 8.0, 0.0, 400.0, false, true},
        {"left louder while right fades out", 8.0, 0.1, 0.0, 400.0, false, false},
        {"a new tone on the left at the same loudness", 1.0, 1.0, 3000.0, 400.0, false, true},
        {"a click in steady noise", 1.0, 1.0, 0.0, 400.0, true, false},
        {"steady noise", 1.0, 1.0, 0.0, 400.0, false, false},
        {"a rise too quiet to hear", 8.0, 8.0, 0.0, 5.0, false, false},
        {"a click towering over a rise", 8.0, 8.0, 0.0, 200.0, true, false},
        {"a rise as loud as the click in it", 8.0, 8.0, 0.0, 800.0, true, true},
    };
    for (const OnsetCase& c : cases) {
        const auto f = onsetScene(c);
        EXPECT_EQ(isMusicalOnset(f.data(), 0, kOnsetFrames, kAt, kAt + 16), c.onset) << c.what;
        // Too little audio on either side to judge: never an onset.
        EXPECT_FALSE(isMusicalOnset(f.data(), kAt - 100, kOnsetFrames, kAt, kAt + 16)) << c.what;
        EXPECT_FALSE(isMusicalOnset(f.data(), 0, kAt + 300, kAt, kAt + 16)) << c.what;
    }
}
