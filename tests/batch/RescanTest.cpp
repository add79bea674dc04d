// Re-scan and super-scan of a loaded recording, whole file and block, end to end on real files.
#include "facade/Document.h"
#include "scan/BlockScan.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "tracks/CutSplice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace tarnival {
namespace {

using test::ScriptedUi;
using test::Stereo;
using test::TempDir;

struct Loaded {
    TempDir dir;
    MemoryProfile profile;
    ScriptedUi ui;
    std::unique_ptr<CMorvath3Doc> doc;
    std::string input;

    // A 12-second side with clicks, loaded and corrected at the given sensitivity.
    explicit Loaded(int sensitivity = 3, int clicks = 40, uint32_t seed = 5) {
        profile.setInt("Settings", "Temp Mode", ids::kTempUser);
        profile.setString("Settings", "Temp Path", dir.path().string());
        profile.setInt("Settings", "Sensitivity", sensitivity);
        profile.setInt("Settings", "Split Tracks", 0);
        Stereo audio = test::music(44100 * 12, 44100, seed, 5000);
        test::addClicks(audio, clicks, 30000, 44100 * 12 - 30000, seed + 1);
        input = dir.file("side.wav");
        test::writeWav(input, audio);
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
        EXPECT_TRUE(doc->OpenWave(input));
        EXPECT_TRUE(doc->ProcessFile());
    }

    std::vector<uint8_t> working() const { return test::workingBytes(doc->store); }
    std::vector<uint8_t> source() const { return test::gainedSourceBytes(doc->store); }

    RescanOptions choice(int sensitivity) const {
        RescanOptions c = doc->RescanDefaults();
        c.sensitivity = sensitivity;
        return c;
    }
};

std::vector<Correction> clicksOf(const CorrectionList& list) {
    std::vector<Correction> out;
    for (int i = 1; i < list.count() - 1; ++i)
        if (list[i].width >= 0 && list[i].magnitude >= 0) out.push_back(list[i]);
    return out;
}

std::set<int32_t> positionsOf(const std::vector<Correction>& v) {
    std::set<int32_t> s;
    for (const Correction& c : v) s.insert(c.position);
    return s;
}

bool sorted(const CorrectionList& list) {
    for (int i = 2; i < list.count() - 1; ++i)
        if (list[i].position < list[i - 1].position) return false;
    return true;
}

TEST(Rescan, WholeFileRescanPutsTheOriginalBackBeforeScanning) {
    Loaded a;
    Loaded b;
    ASSERT_GT(clicksOf(a.doc->corrections).size(), 10u);

    // Narrow corrections at another threshold first; going back must leave nothing of them.
    RescanOptions narrow = b.choice(5);
    narrow.corWidth = ids::kNarrowWidth;
    ASSERT_TRUE(b.doc->Rescan(false, true, narrow));
    EXPECT_NE(clicksOf(b.doc->corrections), clicksOf(a.doc->corrections));
    EXPECT_NE(b.working(), a.working());
    EXPECT_EQ(b.doc->scan.sensitivity, 5);
    EXPECT_EQ(b.profile.getInt("Settings", "Sensitivity", -1), 5);
    EXPECT_FALSE(b.doc->hasBlock());

    ASSERT_TRUE(a.doc->Rescan(false, true, a.choice(3)));
    RescanOptions normal = b.choice(3);
    normal.corWidth = ids::kNormalWidth;
    ASSERT_TRUE(b.doc->Rescan(false, true, normal));
    EXPECT_EQ(clicksOf(a.doc->corrections), clicksOf(b.doc->corrections));
    EXPECT_EQ(a.working(), b.working());
    EXPECT_TRUE(sorted(b.doc->corrections));

    // Only a re-scan that makes every correction anew changes how they are made.
    RescanOptions precise = b.choice(3);
    precise.repairMethod = ids::kRepairPrecise;
    precise.keepUserCorrections = precise.keepCuts = true; // nothing to keep: still a fresh scan
    ASSERT_TRUE(b.doc->Rescan(false, true, precise));
    EXPECT_EQ(b.doc->generator().method(), RepairMethod::Precise);
    EXPECT_EQ(b.profile.getInt("Settings", "Repair Method", 0), ids::kRepairPrecise);
    RescanOptions back = b.choice(3);
    back.repairMethod = ids::kRepairStandard;
    ASSERT_TRUE(b.doc->Rescan(true, true, back));
    EXPECT_EQ(b.doc->generator().method(), RepairMethod::Precise);
    EXPECT_EQ(b.doc->RescanDefaults().repairMethod, ids::kRepairPrecise);

    // Off: every click goes and the working file is the original again.
    ASSERT_TRUE(b.doc->Rescan(false, true, b.choice(0)));
    EXPECT_TRUE(clicksOf(b.doc->corrections).empty());
    EXPECT_EQ(b.working(), b.source());
    // The whole-recording markers survive the list being rebuilt.
    int markers = 0;
    for (const Correction& c : b.doc->corrections.entries()) markers += c.width < 0;
    EXPECT_EQ(markers, 2 * (b.doc->tracks.count() - 1));
}

TEST(Rescan, ACancelledWholeFileRescanLeavesNoUnlistedCorrectionBehind) {
    Loaded l(3);
    const std::vector<Correction> before = clicksOf(l.doc->corrections);
    l.ui.cancelAt = {l.ui.pumps + 3};
    l.ui.answers = {Answer::Yes};
    ASSERT_TRUE(l.doc->Rescan(false, true, l.choice(3)));
    EXPECT_EQ(l.ui.questions.back(), "Really Cancel?");
    const std::vector<Correction> after = clicksOf(l.doc->corrections);
    ASSERT_FALSE(after.empty());
    EXPECT_LT(after.size(), before.size());
    // Past the last correction found, the working file is the original again.
    const int32_t from = spanEnd(after.back()) + 4096;
    const std::vector<uint8_t> working = l.working(), original = l.source();
    EXPECT_TRUE(std::equal(working.begin() + from, working.end(), original.begin() + from));
}

TEST(Rescan, SuperScanKeepsEarlierCorrectionsAndCountsPasses) {
    Loaded l(1);
    const std::vector<Correction> before = clicksOf(l.doc->corrections);
    const std::vector<uint8_t> audioBefore = l.working();
    RescanOptions c = l.choice(5);
    c.passes = 3;
    ASSERT_TRUE(l.doc->Rescan(true, true, c));
    const std::vector<Correction> after = clicksOf(l.doc->corrections);
    ASSERT_GT(after.size(), before.size());
    const std::set<int32_t> old = positionsOf(before);
    for (int32_t p : old) EXPECT_TRUE(positionsOf(after).count(p)) << p;
    int32_t highest = 0;
    std::set<int32_t> newPasses;
    for (const Correction& e : after) {
        highest = std::max(highest, e.pass);
        if (!old.count(e.position) && e.pass > 0) newPasses.insert(e.pass);
    }
    // Each pass numbers its corrections above everything before it.
    ASSERT_FALSE(newPasses.empty());
    EXPECT_GE(*newPasses.begin(), 2);
    EXPECT_LE(*newPasses.rbegin(), 4);
    EXPECT_EQ(l.doc->blockSettings.superCounter, highest);
    EXPECT_NE(l.working(), audioBefore);
    EXPECT_TRUE(sorted(l.doc->corrections));

    // A later super-scan of the whole file goes on from there.
    RescanOptions once = l.choice(5);
    once.passes = 1;
    ASSERT_TRUE(l.doc->Rescan(true, true, once));
    for (const Correction& e : clicksOf(l.doc->corrections))
        if (!positionsOf(after).count(e.position) && e.pass > 0) {
            EXPECT_EQ(e.pass, highest + 1);
        }
}

TEST(Rescan, SuperScanOfABlockLooksAtTheWorkingAudio) {
    // A click that only the working file holds, far from every correction: a super-scan of the
    // block about it finds and repairs it, and nothing outside the block changes.
    Loaded l(3);
    CMorvath3Doc& d = *l.doc;
    const std::vector<Correction> before = clicksOf(d.corrections);
    int32_t at = 0;
    for (int32_t p = d.store.layout.dataStart + 4 * 44100 * 2;
         p < d.store.layout.dataEnd - 300000 && !at; p += 4000) {
        bool clear = true;
        for (const Correction& c : before) clear = clear && std::abs(c.position - p) > 20000;
        if (clear) at = p;
    }
    ASSERT_GT(at, 0);
    const int16_t spike[8] = {20000, -20000, -18000, 18000, 15000, -15000, 0, 0};
    d.store.writeWorking(at, spike, sizeof spike);
    const std::vector<uint8_t> damaged = l.working();
    d.SelectBlock(at - 100000, at + 100000);
    RescanOptions c = l.choice(3);
    c.passes = 1;
    ASSERT_TRUE(d.Rescan(true, false, c));
    const std::vector<Correction> after = clicksOf(d.corrections);
    bool found = false;
    for (const Correction& e : after) found = found || std::abs(e.position - at) <= 64;
    EXPECT_TRUE(found);
    int16_t now[2];
    d.store.readWorking(at, now, sizeof now);
    EXPECT_LT(std::abs(now[0]), 10000);
    const std::vector<uint8_t> repaired = l.working();
    for (const Correction& e : after) {
        if (e.position < at - 100000 - 4000 || e.position > at + 100000 + 4000) {
            EXPECT_TRUE(positionsOf(before).count(e.position)) << e.position;
        }
    }
    EXPECT_EQ(0, std::memcmp(repaired.data(), damaged.data(), at - 100000 - 4000));
}

// A re-scan of a block with the detector off: the block's corrections go and its audio is the
// original again, user-edited corrections and cues survive as asked, the rest is untouched.
TEST(Rescan, BlockRescanRestoresTheBlockAndKeepsWhatItWasAskedTo) {
    struct Case {
        int clicks;
        bool keepUser;
    };
    // 40 clicks in 12 s restore span by span, 900 the whole region in one sweep.
    for (const Case& k : {Case{40, false}, Case{40, true}, Case{900, false}, Case{900, true}}) {
        SCOPED_TRACE(std::to_string(k.clicks) + (k.keepUser ? " keep" : " remove"));
        Loaded l(3, k.clicks);
        CMorvath3Doc& d = *l.doc;
        const WaveLayout& lay = d.store.layout;
        const int32_t from = lay.dataStart + 4 * 44100 * 4, to = lay.dataStart + 4 * 44100 * 7;
        // One correction in the block becomes the user's, one cue marker sits in it.
        int edited = 0;
        for (int i = 1; i < d.corrections.count() - 1 && !edited; ++i)
            if (d.corrections[i].position > from + 40000 && d.corrections[i].width >= 0 &&
                clusterFirst(d.corrections, i) == i && clusterLast(d.corrections, i) == i)
                edited = i;
        ASSERT_GT(edited, 0);
        d.corrections[edited].magnitude = magnitude_codes::kEdited;
        const Correction user = d.corrections[edited];
        const int32_t cue = lay.toFrame(from + 20000);
        d.corrections.insertOrdered(Correction{1, 0, cue, 0, magnitude_codes::kCue});
        // Entries chained to the block's by overlapping spans go with them; the others stay.
        const ListRange range = blockListRange(d.corrections, from, to);
        int32_t regionStart = INT32_MAX, regionEnd = 0;
        for (int i = range.first; i <= range.last; ++i) {
            regionStart = std::min(regionStart, spanStart(d.corrections[i]));
            regionEnd = std::max(regionEnd, spanEnd(d.corrections[i]));
        }
        std::vector<Correction> outside;
        for (int i = 1; i < d.corrections.count() - 1; ++i) {
            const Correction& e = d.corrections[i];
            if ((i < range.first || i > range.last) && e.width >= 0 && e.magnitude >= 0 &&
                (spanEnd(e) <= regionStart || spanStart(e) >= regionEnd))
                outside.push_back(e);
        }
        ASSERT_GT(outside.size(), 10u);
        const std::vector<uint8_t> before = l.working();

        d.SelectBlock(from, to);
        const RescanPrompt prompt = d.PrepareRescan(false, false);
        EXPECT_TRUE(prompt.hasUserCorrections);
        EXPECT_FALSE(prompt.hasCuts);
        RescanOptions c = l.choice(0);
        c.keepUserCorrections = k.keepUser;
        ASSERT_TRUE(d.Rescan(false, false, c));
        EXPECT_EQ(d.blockStart, from);
        EXPECT_EQ(d.blockEnd, to);

        std::vector<Correction> inBlock;
        for (const Correction& e : d.corrections.entries())
            if (e.position >= from && e.position < to && e.width >= 0) inBlock.push_back(e);
        std::vector<Correction> expected{Correction{1, 0, cue, 0, magnitude_codes::kCue}};
        if (k.keepUser) expected.push_back(user);
        std::sort(expected.begin(), expected.end(),
                  [](auto& x, auto& y) { return x.position < y.position; });
        EXPECT_EQ(inBlock, expected);
        for (const Correction& o : outside)
            EXPECT_TRUE(positionsOf(clicksOf(d.corrections)).count(o.position));

        const std::vector<uint8_t> after = l.working(), original = l.source();
        // A correction just before the block may reach a little way into it.
        for (int32_t p = from + 2000; p < to - 2000; p += 4) {
            const bool underUser = k.keepUser && p >= spanStart(user) && p < spanEnd(user);
            if (underUser) continue;
            ASSERT_EQ(0, std::memcmp(&after[p], &original[p], 4)) << "frame at " << p;
        }
        if (k.keepUser) { // the kept correction is in the audio again
            EXPECT_EQ(0, std::memcmp(&after[spanStart(user)], &before[spanStart(user)],
                                     spanEnd(user) - spanStart(user)));
        }
        for (const Correction& o : outside)
            EXPECT_EQ(0, std::memcmp(&after[spanStart(o)], &before[spanStart(o)],
                                     spanEnd(o) - spanStart(o)));
        EXPECT_TRUE(sorted(d.corrections));
    }
}

TEST(Rescan, BlockRescanUndoesCutsUnlessKept) {
    for (bool keepCuts : {false, true}) {
        Loaded l(3);
        CMorvath3Doc& d = *l.doc;
        const int32_t base = d.store.layout.dataStart;
        TrackContext ctx = d.trackContext();
        ASSERT_GE(CutAndSplice(ctx, base + 4 * 44100 * 5, base + 4 * 44100 * 5 + 40000), 1);
        ASSERT_EQ(d.splices.count(), 1);
        d.SelectBlock(base + 4 * 44100 * 4, base + 4 * 44100 * 7);
        EXPECT_TRUE(d.PrepareRescan(false, false).hasCuts);
        RescanOptions c = l.choice(3);
        c.keepCuts = keepCuts;
        ASSERT_TRUE(d.Rescan(false, false, c));
        EXPECT_EQ(d.splices.count(), keepCuts ? 1 : 0);
        int markers = 0;
        for (const Correction& e : d.corrections.entries()) markers += isSpliceMarker(e);
        EXPECT_EQ(markers, d.splices.count());
    }
}

TEST(Rescan, MergeKeepsTheWiderWidthAndInsertsTheRest) {
    CorrectionList list;
    list.insertOrdered(Correction{1, 0, 1000, 40, 20});
    list.insertOrdered(Correction{1, 0, 3000, -2, 0}); // a track marker
    list.insertOrdered(Correction{1, 0, 5000, 100, magnitude_codes::kEdited});
    CorrectionList block;
    block.resetForScan();
    for (const Correction& c : {Correction{2, 0, 1000, 80, 25}, Correction{2, 0, 2000, 8, 3},
                                Correction{2, 0, 3000, 16, 9}, Correction{2, 0, 5000, 60, 40},
                                Correction{2, 0, 7000, 24, 11}})
        block.entries().push_back(c);
    block.entries().push_back(Correction{});
    EXPECT_EQ(MergeIntoList(list, block), 3);
    const std::vector<Correction> expected = {Correction{1, 0, 1000, 80, 20},
                                              Correction{2, 0, 2000, 8, 3},
                                              Correction{2, 0, 3000, 16, 9},
                                              Correction{1, 0, 3000, -2, 0},
                                              Correction{1, 0, 5000, 100, magnitude_codes::kEdited},
                                              Correction{2, 0, 7000, 24, 11}};
    EXPECT_EQ(std::vector<Correction>(list.entries().begin() + 1, list.entries().end() - 1),
              expected);
}

TEST(Rescan, ScanRangeCoversWholeBlocksInsideTheCorrectableRange) {
    WaveLayout l;
    l.dataStart = 44;
    l.dataEnd = 44 + 4 * 44100 * 20;
    l.frameRemainder = 0;
    l.firstCorrectable = l.dataStart + kEdgeGuard;
    l.lastCorrectable = l.dataEnd - kEdgeGuard;
    ScanRange all = blockScanRange(l, l.dataStart, l.dataEnd);
    EXPECT_EQ(all.start, l.firstCorrectable);
    EXPECT_EQ(all.end, l.lastCorrectable);
    ScanRange mid = blockScanRange(l, 3 * kBlockSize + 10, 5 * kBlockSize - 4);
    EXPECT_EQ(mid.start, 3 * kBlockSize);
    EXPECT_EQ(mid.end, 5 * kBlockSize);
}

} // namespace
} // namespace tarnival
