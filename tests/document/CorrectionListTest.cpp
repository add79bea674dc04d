#include "document/CorrectionList.h"
#include "document/DocumentObserver.h"
#include "dsp/Fft.h"
#include "scan/CorrectionEditor.h"
#include "scan/CorrectionGenerator.h"
#include "support/CorrectionSupport.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

using namespace tarnival;
using namespace tarnival::test;

namespace {

Correction entry(int32_t position, int32_t width = 100, int32_t magnitude = 20, int32_t pass = 1,
                 int32_t tag = 0) {
    return Correction{pass, tag, position, width, magnitude};
}

TEST(CorrectionListOrder, SentinelsFindAndEqualPositions) {
    CorrectionList list;
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.find(5000), 1); // count - 1: nothing to walk
    EXPECT_EQ(list.findFirst(5000), 1);
    EXPECT_EQ(clickCount(list, 1, 0, 0, -1), 0);
    EXPECT_EQ(list[0], (Correction{1, 0, 0, 0, 0}));
    EXPECT_EQ(list[1], (Correction{1, 0, 0, 0, 0}));

    list.insertOrdered(entry(3000, 100, 20, 1, 1));
    list.insertOrdered(entry(1000, 100, 20, 1, 2));
    list.insertOrdered(entry(3000, 100, 20, 1, 3)); // goes before the older entry at 3000
    list.insertOrdered(entry(3000, 100, 20, 1, 4));
    list.insertOrdered(entry(9000, 100, 20, 1, 5));
    ASSERT_EQ(list.count(), 7);
    std::vector<int> tags;
    for (int i = 1; i <= list.count() - 2; ++i) tags.push_back(list[i].tag);
    EXPECT_EQ(tags, (std::vector<int>{2, 4, 3, 1, 5}));
    EXPECT_EQ(list[list.count() - 1], (Correction{1, 0, 0, 0, 0}));

    EXPECT_EQ(list.findFirst(3000), 2);
    int any = list.find(3000);
    EXPECT_GE(any, 2);
    EXPECT_LE(any, 4);
    EXPECT_EQ(list.find(2000), 2); // first above
    EXPECT_EQ(list.find(500), 1);
    EXPECT_EQ(list.find(9001), 6); // all below: count - 1
    EXPECT_EQ(list.find(9000), 5);
    EXPECT_EQ(clickCount(list, 1, 0, 0, -1), 5);
    list[2].magnitude = magnitude_codes::kInsertedCurrent;
    EXPECT_EQ(clickCount(list, 1, 0, 0, 2), 4);
}

TEST(CorrectionListSpans, WidthsFlagsAndMarkers) {
    struct Case {
        int32_t width;
        int32_t start, end, reach;
    };
    const int32_t p = 100000;
    for (const Case& c : {Case{0, -20, 16, 16}, Case{7, -52, 48, 48}, Case{8, -96, 92, 92},
                          Case{292, -944, 940, 940}, Case{300, -968, 964, 964},
                          Case{300 | 4096 | 8192, -968, 964, 964}, Case{7 | 4096, -52, 48, 48},
                          Case{-3, -4, 0, 0}}) {
        SCOPED_TRACE(c.width);
        Correction e = entry(p, c.width);
        EXPECT_EQ(spanStart(e), p + c.start);
        EXPECT_EQ(spanEnd(e), p + c.end);
        EXPECT_EQ(overlapReach(e), p + c.reach);
    }
    EXPECT_EQ(kindClass(entry(p, 300 | 4096 | 8192, 40)), kindClass(entry(p, 300, 40)));
    EXPECT_EQ(kindClass(entry(p, -2, 0)), 0);
}

class Editing : public ::testing::Test {
  protected:
    struct Recorder : DocumentObserver {
        std::vector<int> added, removed;
        void entryAdded(int i) override { added.push_back(i); }
        void entryRemoved(int i) override { removed.push_back(i); }
    };

    static constexpr int kFrames = 80000;
    TempDir dir;
    WaveStore store;
    CFft fft;
    CorrectionGenerator gen{fft};
    CorrectionList list;
    Recorder recorder;
    CorrectionEditor editor{list, store, gen, &recorder};
    ScriptedUi ui;

    void open(float leftGain = 1.0f, float rightGain = 1.0f, const WavOptions& options = {}) {
        Stereo audio = music(kFrames, 44100, 11, 5000);
        for (int f : {20000, 20060, 20200, 40000, 60000}) addClick(audio, Click{f - 6, 12, 16000});
        openStore(store, dir, audio, options, leftGain, rightGain);
        list.sizeBlockCounters(store.layout.fileLength);
    }
    int add(int frame, int32_t width, int32_t pass = 1, int32_t magnitude = 20) {
        int32_t pos = framePosition(store, frame);
        list.raiseBlockCounter(pos);
        return list.insertOrdered(Correction{pass, 0, pos, width, magnitude});
    }
    void makeAll() {
        MakeOptions o;
        MakeCorrections(list, gen, store, ui, o);
    }
    std::vector<uint8_t> onlyApplied(const std::vector<Correction>& order) {
        const auto now = workingBytes(store);
        setWorkingBytes(store, gainedSourceBytes(store));
        for (const auto& c : order) gen.Apply(c, store);
        auto result = workingBytes(store);
        setWorkingBytes(store, now);
        return result;
    }
};

TEST_F(Editing, ClusterChains) {
    open();
    // Width 100 (long, h = 37): span start p - 368, reach p + 364.
    add(20000, 100);       // 1
    add(20125, 100);       // 2: starts 132 bytes after 1's centre, before 1's reach
    add(20250, 100);       // 3
    add(20500, 100);       // 4: starts at +1632 from 3's centre, beyond its reach (+364)
    add(20500 + 183, 100); // 5: starts exactly at 4's reach: not joined
    add(40000, 0);         // 6
    list.insertOrdered(Correction{1, 0, framePosition(store, 40004), -2, 0}); // 7: marker
    auto c = editor.ClusterOf(2);
    EXPECT_EQ(c.first, 1);
    EXPECT_EQ(c.last, 3);
    c = editor.ClusterOf(1);
    EXPECT_EQ(c.first, 1);
    EXPECT_EQ(c.last, 3);
    c = editor.ClusterOf(4);
    EXPECT_EQ(c.first, 4);
    EXPECT_EQ(c.last, 4);
    c = editor.ClusterOf(5);
    EXPECT_EQ(c.first, 5);
    EXPECT_EQ(c.last, 5);
    // A short correction (reach p + 16) and a marker 16 bytes later (span start p + 12).
    c = editor.ClusterOf(7);
    EXPECT_EQ(c.first, 6);
    EXPECT_EQ(c.last, 7);
}

TEST_F(Editing, RemovalRestoresTheOriginal) {
    open();
    const auto original = workingBytes(store);
    add(20000, 200, 0);
    add(20060, 100, 1);
    add(20200, 60, 1);
    add(40000, 7, 1);
    add(60000, 300, 1);
    makeAll();
    ASSERT_NE(workingBytes(store), original);
    const int block = framePosition(store, 60000) / CorrectionList::kBlockBytes;
    ASSERT_EQ(list.blockCounters()[static_cast<size_t>(block)], 5);

    int current = 4;
    current = editor.Remove(5, current);
    EXPECT_EQ(current, 4);
    EXPECT_EQ(list.blockCounters()[static_cast<size_t>(block)], 4);
    EXPECT_EQ(recorder.removed, std::vector<int>{5});
    current = editor.Remove(4, current);
    EXPECT_EQ(current, CorrectionEditor::kNone);
    current = 3;
    while (list.count() > 2) current = editor.Remove(1, current);
    EXPECT_EQ(current, CorrectionEditor::kNone);
    EXPECT_EQ(workingBytes(store), original);
}

TEST_F(Editing, RemovalRestoresTheGainedSource) {
    open(0.5f, 0.75f);
    const auto gained = workingBytes(store);
    ASSERT_EQ(gained, gainedSourceBytes(store));
    ASSERT_NE(gained, sourceBytes(store));
    add(40000, 150);
    add(40030, 20);
    makeAll();
    ASSERT_NE(workingBytes(store), gained);
    editor.Remove(2, -1);
    editor.Remove(1, -1);
    EXPECT_EQ(workingBytes(store), gained);
}

TEST_F(Editing, RemovalKeepsTheRestOfItsCluster) {
    open();
    add(20000, 200, 1); // 1
    add(20060, 100, 2); // 2: made on top of 1
    add(20200, 60, 0);  // 3: made before 1
    makeAll();
    const Correction one = list[1], two = list[2], three = list[3];
    const auto applied = workingBytes(store);

    // Taking out the middle pass leaves what the other two would have made alone.
    editor.Remove(1, -1);
    EXPECT_EQ(workingBytes(store), onlyApplied({three, two}));

    // Putting it back and re-applying the cluster gives the original result again.
    int index = list.insertOrdered(one);
    ASSERT_EQ(index, 1);
    editor.RestoreCluster(index, true);
    EXPECT_EQ(workingBytes(store), applied);
}

TEST_F(Editing, ChannelToggle) {
    open();
    const auto original = workingBytes(store);
    add(40000, 100);
    makeAll();
    const auto both = workingBytes(store);
    auto channel = [&](const std::vector<uint8_t>& bytes, int ch) {
        std::vector<uint8_t> out;
        for (size_t i = static_cast<size_t>(store.layout.dataStart) + 2 * static_cast<size_t>(ch);
             i + 1 < bytes.size(); i += 4)
            out.insert(out.end(), {bytes[i], bytes[i + 1]});
        return out;
    };

    editor.ToggleChannel(1, true);
    EXPECT_EQ(list[1].width, 100 | width_flags::kKeepLeft);
    EXPECT_EQ(list[1].magnitude, magnitude_codes::kEdited);
    auto now = workingBytes(store);
    EXPECT_EQ(channel(now, 0), channel(original, 0));
    EXPECT_EQ(channel(now, 1), channel(both, 1));

    editor.ToggleChannel(1, true);
    EXPECT_EQ(list[1].width, 100);
    EXPECT_EQ(workingBytes(store), both);

    editor.ToggleChannel(1, false);
    now = workingBytes(store);
    EXPECT_EQ(channel(now, 0), channel(both, 0));
    EXPECT_EQ(channel(now, 1), channel(original, 1));
}

TEST_F(Editing, SetEntry) {
    open();
    const auto original = workingBytes(store);
    const WaveLayout& lay = store.layout;
    add(40000, 100);
    makeAll();

    editor.RestoreCluster(1, false);
    EXPECT_EQ(workingBytes(store), original);
    editor.SetEntry(1, 160, lay.dataEnd, true); // position held to the correctable range
    EXPECT_EQ(list[1].width, 160);
    EXPECT_EQ(list[1].position, lay.dataEnd - kEdgeGuard);
    editor.SetEntry(1, 160, 100, true);
    EXPECT_EQ(list[1].position, lay.dataStart + kEdgeGuard);
    editor.SetEntry(1, -1, 12345, true); // a negative width only moves the entry
    EXPECT_EQ(list[1].width, 160);
    EXPECT_EQ(list[1].position, 12345);
    EXPECT_EQ(workingBytes(store), original);

    // A span outside the window cache comes from the source.
    list[1].position = framePosition(store, 60000);
    gen.Apply(list[1], store);
    ASSERT_NE(workingBytes(store), original);
    EXPECT_TRUE(editor.SetEntry(1, 0, 0, true));
    EXPECT_EQ(list.count(), 2);
    EXPECT_EQ(workingBytes(store), original);
}

TEST_F(Editing, AdjustingPutsBackFromTheWindow) {
    open();
    add(40000, 200, 0);
    add(40040, 100, 1);
    makeAll();
    editor.RestoreCluster(2, false);
    const auto withoutSecond = workingBytes(store);
    EXPECT_EQ(withoutSecond, onlyApplied({list[1]}));

    // An edit in progress applies the entry, then puts its span back before the next step: the
    // first correction, which overlaps that span, must survive.
    gen.Apply(list[2], store);
    ASSERT_NE(workingBytes(store), withoutSecond);
    editor.SetEntry(2, 120, -1, true);
    EXPECT_EQ(workingBytes(store), withoutSecond);
    EXPECT_EQ(list[2].width, 120);
    editor.RestoreCluster(2, true);
    EXPECT_EQ(workingBytes(store), onlyApplied({list[1], list[2]}));
}

TEST_F(Editing, UserInsertionLimits) {
    open();
    const int32_t start = store.layout.dataStart, end = store.layout.dataEnd;
    EXPECT_EQ(editor.InsertUserCorrection(start + 20479, ui), CorrectionEditor::kNone);
    EXPECT_EQ(ui.beeps, 1);
    EXPECT_EQ(list.count(), 2);

    int i = editor.InsertUserCorrection(start + 20480, ui);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(list[1], (Correction{1, 0, start + 20480, 1, magnitude_codes::kInsertedCurrent}));
    EXPECT_EQ(list.blockCounters()[static_cast<size_t>((start + 20480) / 262144)], 1);
    EXPECT_EQ(recorder.added, std::vector<int>{1});

    list[1].magnitude = magnitude_codes::kInserted;
    i = editor.InsertUserCorrection(start + 20483, ui); // brought down to the frame, placed first
    EXPECT_EQ(i, 1);
    EXPECT_EQ(list[1].position, start + 20480);
    EXPECT_EQ(list[2].magnitude, magnitude_codes::kInserted);

    EXPECT_EQ(editor.InsertUserCorrection(end - 20479, ui), CorrectionEditor::kNone);
    EXPECT_EQ(ui.beeps, 2);
    EXPECT_EQ(editor.InsertUserCorrection(end - 20480, ui), 3);

    // The current insertion has not been made yet: removing it leaves the audio alone, even
    // where the working file differs from the source.
    const auto before = workingBytes(store);
    int16_t odd = 12345;
    store.working.writeAt(end - 20480, &odd, 2);
    const auto marked = workingBytes(store);
    EXPECT_EQ(editor.Remove(3, 3), CorrectionEditor::kNone);
    EXPECT_EQ(workingBytes(store), marked);
    EXPECT_NE(marked, before);
    EXPECT_EQ(list.count(), 4);
}

TEST_F(Editing, InsertionOnTheOtherFrameGrid) {
    WavOptions options;
    options.fmtLength = 18; // data start 46: frames sit at 2 modulo 4
    open(1.0f, 1.0f, options);
    const int32_t start = store.layout.dataStart;
    ASSERT_EQ(start % 4, 2);
    int i = editor.InsertUserCorrection(start + 20481, ui);
    ASSERT_NE(i, CorrectionEditor::kNone);
    EXPECT_EQ(list[i].position, start + 20480);
    EXPECT_EQ((list[i].position - start) % 4, 0);
}

} // namespace
