#include "TrackFixture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tarnival::test {
namespace {

constexpr int32_t kDataBytes = 4000000;
constexpr int32_t kStart = 44;
constexpr int32_t kEnd = kStart + kDataBytes;

int16_t sourceSample(int64_t k) {
    return static_cast<int16_t>((k * 37) % 20001 - 10000);
}
int16_t workingSample(int64_t k) {
    return static_cast<int16_t>((k * 53) % 16001 - 8000);
}

// A document whose two files hold known, different sample patterns, with one track over
// the whole recording.
class CutDoc : public TrackDoc {
  public:
    TempDir dir;
    CutDoc() : TrackDoc(kDataBytes, kStart) {
        write(dir.file("src.wav"), sourceSample);
        write(dir.file("work.wav"), workingSample);
        store.source.open(dir.file("src.wav"), File::Mode::ReadOnly);
        store.working.open(dir.file("work.wav"), File::Mode::ReadWrite);
        setTracks({{4704, kEnd}});
    }
    // Sample value at a byte position of the data.
    static int16_t at(int16_t (*f)(int64_t), int64_t position) {
        return f((position - kStart) / 2);
    }

  private:
    static void write(const std::string& path, int16_t (*f)(int64_t)) {
        std::vector<uint8_t> bytes(kStart, 0);
        bytes.reserve(static_cast<size_t>(kEnd));
        for (int64_t k = 0; k < kDataBytes / 2; ++k) {
            auto v = static_cast<uint16_t>(f(k));
            bytes.push_back(static_cast<uint8_t>(v & 0xFF));
            bytes.push_back(static_cast<uint8_t>(v >> 8));
        }
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
};

std::vector<const Correction*> spliceMarkers(const CorrectionList& list) {
    std::vector<const Correction*> out;
    for (int i = 1; i < list.count() - 1; ++i)
        if (isSpliceMarker(list[i])) out.push_back(&list[i]);
    return out;
}

TEST(CrossFade, BlendsWithTruncationTowardZero) {
    int16_t a[4] = {1000, 1000, 1000, 1000};
    const int16_t b[4] = {-1000, -1000, -1000, -1000};
    crossFadeSamples(a, b, 4);
    EXPECT_EQ(a[0], 1000);
    EXPECT_EQ(a[1], 500);  // 750 - 250
    EXPECT_EQ(a[2], 0);    // 500 - 500
    EXPECT_EQ(a[3], -500); // 250 - 750
    int16_t c[3] = {0, -7, 0};
    const int16_t d[3] = {0, 5, 0};
    crossFadeSamples(c, d, 3);
    EXPECT_EQ(c[1], -3); // -14/3 -> -4 and 5/3 -> 1, each toward zero
}

TEST(CutAndSplice, ClampsStartAndCrossFade) {
    {
        CutDoc doc;
        auto ctx = doc.ctx();
        // A block from 50 bytes after the data start: cut from data start + 100.
        int marker = CutAndSplice(ctx, kStart + 50, 300044);
        ASSERT_GT(marker, 0);
        ASSERT_EQ(doc.splices.count(), 1);
        const Splice& s = doc.splices.splices[0];
        EXPECT_EQ(s.cutStart, kStart + 100);
        EXPECT_EQ(s.cutEnd, 300044);
        EXPECT_EQ(s.crossFade, 92); // only 100 - 8 bytes before the cut
        EXPECT_EQ(s.fadeBytes.size(), 184u);
        EXPECT_TRUE(doc.modified);
    }
    {
        CutDoc doc;
        doc.splices.crossFadeIndex = 2; // "Long (100ms)"
        auto ctx = doc.ctx();
        ASSERT_GT(CutAndSplice(ctx, 2000044, kEnd - 10000), 0);
        const Splice& s = doc.splices.splices[0];
        EXPECT_EQ(s.crossFade, 9992);
        EXPECT_EQ(s.cutEnd, kEnd - 10000);
        EXPECT_EQ(s.shift, kEnd - 10000 + 9992 - 2000044);
    }
    {
        CutDoc doc;
        auto ctx = doc.ctx();
        // Nothing left between the clamps: refused.
        EXPECT_EQ(CutAndSplice(ctx, kEnd - 80, kEnd), -1);
        EXPECT_EQ(CutAndSplice(ctx, 500000, 500000), -1);
        EXPECT_EQ(doc.ui.beeps, 2);
        EXPECT_TRUE(doc.splices.empty());
        // Block ends off the frame grid are brought down to whole frames.
        ASSERT_GT(CutAndSplice(ctx, 1000046, 1100047), 0);
        EXPECT_EQ(doc.splices.splices[0].cutStart, 1000044);
        EXPECT_EQ(doc.splices.splices[0].cutEnd, 1100044);
        // A splice marker naming a splice that does not exist: refused.
        int junk = doc.insert(3000000, 400, -8);
        EXPECT_FALSE(RestoreCut(ctx, junk).has_value());
        EXPECT_EQ(doc.ui.beeps, 3);
        EXPECT_EQ(doc.splices.count(), 1);
    }
}

TEST(CutAndSplice, ShiftsMarkersAndUndo) {
    CutDoc doc;
    auto ctx = doc.ctx();
    EXPECT_EQ(doc.splices.crossFadeSetting(), 880); // "Short (5mS)"
    int first = CutAndSplice(ctx, 1000044, 1100044);
    int second = CutAndSplice(ctx, 2000044, 2050044);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    ASSERT_EQ(doc.splices.count(), 2);
    EXPECT_EQ(doc.splices.splices[0].shift, 100880);
    EXPECT_EQ(doc.splices.splices[1].shift, 151760);

    auto markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(*markers[0], (Correction{1, 1100044, 1100044 + 440, 0, -8}));
    EXPECT_EQ(*markers[1], (Correction{1, 2050044, 2050044 + 440, 4, -8}));
    EXPECT_EQ(doc.corrections[second], *markers[1]);
    // Entry 0 and the track lost the cut bytes.
    EXPECT_EQ(doc.tracks[0].end, kEnd - 151760);
    // Each refresh puts the end back on the sector grid.
    const WaveLayout& l = doc.store.layout;
    EXPECT_EQ(doc.tracks[1].end, sectorFloor(l, sectorFloor(l, kEnd - 100880) + 100880 - 151760));

    // Undo the first cut: the second keeps only its own removal, and is marker 0 now.
    auto restored = RestoreCut(ctx, first);
    ASSERT_TRUE(restored.has_value());
    EXPECT_EQ(restored->first, 1000044 - 880);
    EXPECT_EQ(restored->second, 1100044 + 880);
    ASSERT_EQ(doc.splices.count(), 1);
    EXPECT_EQ(doc.splices.splices[0].cutStart, 2000044);
    EXPECT_EQ(doc.splices.splices[0].shift, 50880);
    markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0]->tag, 2050044);
    EXPECT_EQ(markers[0]->width, 0);
    EXPECT_EQ(doc.tracks[0].end, kEnd - 50880);

    // Not a splice marker: beep, nothing restored.
    EXPECT_FALSE(RestoreCut(ctx, doc.findWidth(-2)).has_value());
    EXPECT_EQ(doc.ui.beeps, 1);
    // Cuts made out of order are kept in order with cumulative shifts.
    ASSERT_GT(CutAndSplice(ctx, 500044, 600044), 0);
    EXPECT_EQ(doc.splices.splices[0].shift, 100880);
    EXPECT_EQ(doc.splices.splices[1].shift, 151760);
    markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0]->tag, 600044);
    EXPECT_EQ(markers[0]->width, 0);
    EXPECT_EQ(markers[1]->width, 4);
}

TEST(CutAndSplice, OverlappingCutIsAbsorbed) {
    CutDoc doc;
    auto ctx = doc.ctx();
    ASSERT_GT(CutAndSplice(ctx, 1000044, 1100044), 0);
    ASSERT_GT(CutAndSplice(ctx, 3000044, 3100044), 0);
    // Overlaps the first cut from its middle on.
    int marker = CutAndSplice(ctx, 1050044, 1200044);
    ASSERT_GT(marker, 0);
    ASSERT_EQ(doc.splices.count(), 2);
    const Splice& s = doc.splices.splices[0];
    EXPECT_EQ(s.cutStart, 1000044);
    EXPECT_EQ(s.cutEnd, 1200044);
    EXPECT_EQ(s.shift, 200880);
    EXPECT_EQ(doc.splices.splices[1].shift, 200880 + 100880);
    auto markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 2u); // the absorbed cut's marker went with it
    EXPECT_EQ(markers[0]->tag, 1200044);
    EXPECT_EQ(markers[0]->width, 0);
    EXPECT_EQ(markers[1]->width, 4);
    EXPECT_EQ(doc.corrections[marker].tag, 1200044);

    // A cut inside an existing one, and one bridging both: a single splice remains.
    ASSERT_GT(CutAndSplice(ctx, 1100044, 1150044), 0);
    EXPECT_EQ(doc.splices.count(), 2);
    EXPECT_EQ(doc.splices.splices[0].cutEnd, 1200044);
    ASSERT_GT(CutAndSplice(ctx, 1190044, 3010044), 0);
    ASSERT_EQ(doc.splices.count(), 1);
    EXPECT_EQ(doc.splices.splices[0].cutStart, 1000044);
    EXPECT_EQ(doc.splices.splices[0].cutEnd, 3100044);
    EXPECT_EQ(spliceMarkers(doc.corrections).size(), 1u);
}

TEST(CutAndSplice, CrossFadeBytesFollowTheFormulaOnBothFiles) {
    CutDoc doc;
    auto ctx = doc.ctx();
    ASSERT_GT(CutAndSplice(ctx, 1000044, 1100044), 0);
    const Splice& s = doc.splices.splices[0];
    const int h = s.crossFade;
    const int c = h / 2;
    ASSERT_EQ(h, 880);
    auto sample = [&](int half, int i) {
        size_t o = static_cast<size_t>(half * h + 2 * i);
        return static_cast<int16_t>(s.fadeBytes[o] | (s.fadeBytes[o + 1] << 8));
    };
    int16_t (*files[2])(int64_t) = {sourceSample, workingSample};
    for (int half = 0; half < 2; ++half) {
        for (int i = 0; i < c; ++i) {
            int a = CutDoc::at(files[half], s.cutStart - h + 2 * i);
            int b = CutDoc::at(files[half], s.cutEnd + 2 * i);
            int expected = a * (c - i) / c + i * b / c;
            ASSERT_EQ(sample(half, i), expected) << "half " << half << " sample " << i;
        }
    }
    // The first sample is the audio before the cut, untouched.
    EXPECT_EQ(sample(1, 0), CutDoc::at(workingSample, s.cutStart - h));
}

TEST(CutAndSplice, HidesEntriesInsideAndRestoresThem) {
    CutDoc doc;
    doc.insert(1000044, 20, 40); // at the cut start: hidden
    doc.insert(1050044, 10, -3); // an inserted correction: hidden
    doc.insert(1060044, 1, -1);  // a cue: hidden and out of the cue list
    doc.insert(1090000, 1, -2);  // an edited correction
    doc.insert(1100044, 20, 12); // at the cut end: hidden
    doc.insert(1100048, 20, 12); // after the cut end: kept
    doc.insert(999000, 20, 50);  // before the cut: kept
    doc.insert(3000000, 1, -1);  // a cue elsewhere
    auto ctx = doc.ctx();
    ASSERT_GT(CutAndSplice(ctx, 1000044, 1100044), 0);
    auto magnitudeAt = [&](int32_t position) {
        for (int i = 1; i < doc.corrections.count() - 1; ++i)
            if (doc.corrections[i].position == position && doc.corrections[i].width >= 0 &&
                doc.corrections[i].magnitude != -8)
                return doc.corrections[i].magnitude;
        return 12345;
    };
    EXPECT_EQ(magnitudeAt(1000044), 40 - 10000);
    EXPECT_EQ(magnitudeAt(1050044), -3 - 10000);
    EXPECT_EQ(magnitudeAt(1060044), -1 - 10000);
    EXPECT_EQ(magnitudeAt(1090000), -2 - 10000);
    EXPECT_EQ(magnitudeAt(1100044), 12 - 10000);
    EXPECT_EQ(magnitudeAt(1100048), 12);
    EXPECT_EQ(magnitudeAt(999000), 50);
    EXPECT_EQ(doc.cues, (std::vector<int32_t>{3000000}));

    int marker = 0;
    for (int i = 1; i < doc.corrections.count() - 1; ++i)
        if (isSpliceMarker(doc.corrections[i])) marker = i;
    ASSERT_TRUE(RestoreCut(ctx, marker).has_value());
    EXPECT_EQ(magnitudeAt(1000044), 40);
    EXPECT_EQ(magnitudeAt(1050044), -3);
    EXPECT_EQ(magnitudeAt(1060044), -1);
    EXPECT_EQ(magnitudeAt(1090000), -2);
    EXPECT_EQ(magnitudeAt(1100044), 12);
    EXPECT_EQ(doc.cues, (std::vector<int32_t>{1060044, 3000000}));
    EXPECT_TRUE(doc.splices.empty());
    EXPECT_TRUE(spliceMarkers(doc.corrections).empty());
}

TEST(CutAndSplice, MergesTracksFirstAndRefreshesBoundaries) {
    CutDoc doc;
    const int32_t s = 2352;
    doc.setTracks({{4704, 850 * s}, {850 * s, 1700 * s}});
    auto ctx = doc.ctx();
    // Spanning the boundary: the merge is asked first; Cancel cuts nothing.
    doc.ui.answers = {Answer::Cancel};
    EXPECT_EQ(CutAndSplice(ctx, 1900044, 2100044), -1);
    EXPECT_EQ(doc.ui.questions.back(), "Tracks 1 and 2 will be permanently merged.\nContinue?");
    EXPECT_EQ(doc.ui.questionCaptions.back(), "Merge Tracks Before Executing Cut/Splice");
    EXPECT_TRUE(doc.splices.empty());
    EXPECT_EQ(doc.tracks.trackCount(), 2);

    // Inside track 2: the later boundary moves back by the removed bytes, on the sector grid.
    ASSERT_GT(CutAndSplice(ctx, 2500044, 2600044), 0);
    EXPECT_EQ(doc.tracks[1].end, 850 * s);
    EXPECT_EQ(doc.tracks[2].start, 850 * s);
    EXPECT_EQ(doc.tracks[2].end, (1700 * s - 100880) / s * s);
    EXPECT_EQ(doc.tracks[0].end, kEnd - 100880);
    EXPECT_EQ(doc.corrections[doc.findWidth(-5)].position,
              doc.splices.displayToSource(doc.tracks[2].end));
    auto marker = spliceMarkers(doc.corrections);
    ASSERT_EQ(marker.size(), 1u);
    int index = 0;
    for (int i = 1; i < doc.corrections.count() - 1; ++i)
        if (&doc.corrections[i] == marker[0]) index = i;
    ASSERT_TRUE(RestoreCut(ctx, index).has_value());
    EXPECT_EQ(doc.tracks[0].end, kEnd);
    EXPECT_NEAR(doc.tracks[2].end, 1700 * s, s); // back, give or take a sector
}

TEST(CutAndSplice, NothingToCutMergesNothing) {
    CutDoc doc;
    const int32_t s = 2352;
    // A short last track, so that a block inside it would merge it into the one before.
    doc.setTracks({{4704, kEnd - s}, {kEnd - s, kEnd}});
    auto ctx = doc.ctx();
    doc.ui.answers = {Answer::Ok};
    // Within 100 bytes of the data end: clamped, the cut is empty.
    EXPECT_EQ(CutAndSplice(ctx, kEnd - 90, kEnd - 10), -1);
    EXPECT_EQ(doc.ui.beeps, 1);
    EXPECT_TRUE(doc.ui.questions.empty());
    EXPECT_EQ(doc.tracks.trackCount(), 2);
    EXPECT_EQ(doc.tracks[1].end, kEnd - s);
    EXPECT_EQ(doc.markerWidths().size(), 4u);
    EXPECT_TRUE(doc.splices.empty());
    EXPECT_FALSE(doc.modified);

    // A block reaching further back is cut, after the merge it needs.
    ASSERT_GT(CutAndSplice(ctx, kEnd - 2000, kEnd - 10), 0);
    EXPECT_EQ(doc.ui.questions.size(), 1u);
    EXPECT_EQ(doc.tracks.trackCount(), 1);
    ASSERT_EQ(doc.splices.count(), 1);
    EXPECT_EQ(doc.splices.splices[0].cutEnd, kEnd - 100);
}

TEST(CutAndSplice, BoundaryInsideTheCutMovesToTheCutPoint) {
    CutDoc doc;
    const int32_t s = 2352;
    // Track 2 starts inside the block, which begins in the gap after track 1.
    doc.setTracks({{4704, 450 * s}, {638 * s, 1700 * s}});
    auto ctx = doc.ctx();
    ASSERT_GT(CutAndSplice(ctx, 1200044, 1700044), 0);
    EXPECT_TRUE(doc.ui.questions.empty());
    EXPECT_EQ(doc.tracks[1].end, 450 * s);
    // Where the recording resumes, not a display position before the cut.
    EXPECT_EQ(doc.tracks[2].start, sectorFloor(doc.store.layout, 1200044));
    EXPECT_GE(doc.tracks[2].start, doc.tracks[1].end);
}

TEST(SpliceMaps, RoundTripsOutsideCutsAndTracksEdits) {
    SpliceList list;
    list.insert(Splice{300044, 400044, 880, 0, {}});
    list.insert(Splice{100044, 150044, 4400, 0, {}});
    list.insert(Splice{700044, 700444, 880, 0, {}});
    ASSERT_EQ(list.count(), 3);
    EXPECT_EQ(list.splices[0].cutStart, 100044);
    EXPECT_EQ(list.splices[0].shift, 54400);
    EXPECT_EQ(list.splices[1].shift, 54400 + 100880);
    EXPECT_EQ(list.splices[2].shift, 54400 + 100880 + 1280);

    // Known values around the first cut.
    EXPECT_EQ(list.sourceToDisplay(100043), 100043);
    EXPECT_EQ(list.sourceToDisplay(150044 + 4400), 100044);
    EXPECT_EQ(list.displayToSource(100043), 100043);
    EXPECT_EQ(list.displayToSource(100044), 154444);
    EXPECT_EQ(list.spliceAfter(100043), 0);
    EXPECT_EQ(list.spliceAfter(100044), 1);
    EXPECT_EQ(list.spliceAfter(700044), -1);
    EXPECT_TRUE(list.isInCut(100044));
    EXPECT_TRUE(list.isInCut(150044));
    EXPECT_FALSE(list.isInCut(100043));
    EXPECT_FALSE(list.isInCut(150045));

    // Every display position maps to a source position and back; every source position
    // outside a removed stretch [cut start, resume) round-trips the other way. Stepping back
    // and forth exercises the cached stretch.
    for (int32_t p = 0; p < 900000; p += 997) {
        ASSERT_EQ(list.sourceToDisplay(list.displayToSource(p)), p) << p;
        ASSERT_EQ(list.sourceToDisplay(list.displayToSource(900000 - p)), 900000 - p);
    }
    for (int32_t src = 0; src < 900000; src += 499) {
        if (list.cutHolding(src) >= 0) continue;
        ASSERT_EQ(list.displayToSource(list.sourceToDisplay(src)), src) << src;
    }
    // An empty list maps positions to themselves.
    SpliceList none;
    EXPECT_EQ(none.sourceToDisplay(123456), 123456);
    EXPECT_EQ(none.displayToSource(123456), 123456);

    // The cache notices edits made straight to the records.
    EXPECT_EQ(list.sourceToDisplay(500000), 500000 - 155280);
    list.splices[1].shift = 1000;
    EXPECT_EQ(list.sourceToDisplay(500000), 499000);
    list.recomputeShifts();
    list.splices.pop_back();
    EXPECT_EQ(list.sourceToDisplay(800000), 800000 - 155280);
    list.clear();
    EXPECT_EQ(list.sourceToDisplay(800000), 800000);
}

TEST(SpliceMarkers, InsertedAfterAScanAreNumbered) {
    TrackDoc doc(4000000);
    doc.splices.insert(Splice{300044, 400044, 880, 0, {}});
    doc.splices.insert(Splice{100044, 150044, 880, 0, {}});
    doc.insert(150044 + 440, 0, -8); // a stale marker from before
    auto ctx = doc.ctx();
    InsertSpliceMarkers(ctx);
    auto markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(*markers[0], (Correction{1, 150044, 150044 + 440, 0, -8}));
    EXPECT_EQ(*markers[1], (Correction{1, 400044, 400044 + 440, 4, -8}));
    // Removing a splice takes its marker and renumbers the rest.
    RemoveSplice(ctx, 0);
    markers = spliceMarkers(doc.corrections);
    ASSERT_EQ(markers.size(), 1u);
    EXPECT_EQ(markers[0]->tag, 400044);
    EXPECT_EQ(markers[0]->width, 0);
    EXPECT_EQ(doc.splices.splices[0].shift, 100880);
    RemoveSplice(ctx, 5); // out of range: ignored
    EXPECT_EQ(doc.splices.count(), 1);
}

} // namespace
} // namespace tarnival::test
