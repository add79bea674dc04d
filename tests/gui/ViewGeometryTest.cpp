#include "views/ViewGeometry.h"
#include "document/Correction.h"
#include "document/CorrectionList.h"
#include "tracks/TrackMarkers.h"
#include "views/EntryNavigation.h"

#include <gtest/gtest.h>

namespace tarnival {
namespace {

using namespace view;

TEST(ViewGeometry, PixelsAndPositionsRoundTripAtEveryScale) {
    for (int rate : {44100, 48000}) {
        for (int index = 1; index <= kFineSteps; ++index) {
            Mapping m;
            m.samplesPerDiv = fineScale(rate, index);
            m.width = 962; // an odd half: 481 x 0.08 x 20 is no whole frame
            m.first = 44;
            m.last = 44 + 2000000000;
            m.current = 44 + 4 * 250000000;
            SCOPED_TRACE(m.samplesPerDiv);
            // The current position sits in the middle column, give or take one frame.
            EXPECT_NEAR(m.xOf(m.current), m.width / 2, 0.5 + m.framesToPixels(1));
            for (int x : {0, 1, 250, 499, 500, 501, 999}) {
                const int32_t p = m.positionAt(x);
                EXPECT_EQ((p - m.current) % 4, 0) << "a whole frame";
                // One pixel holds samplesPerDiv / 50 frames; the round trip lands in the pixel.
                EXPECT_NEAR(m.xOf(p), x, 1.0 + 4.0 / (0.08 * m.samplesPerDiv));
            }
            // A division is 50 pixels wide whatever the scale.
            EXPECT_NEAR(m.xOf(m.current + 4 * int64_t{m.samplesPerDiv}) - m.xOf(m.current), 50,
                        1e-6);
            EXPECT_EQ(m.rightEdge() - m.leftEdge(), int64_t{m.width / 50} * m.samplesPerDiv * 4);
            // The traces are read from the edges: frames, never between two samples.
            EXPECT_EQ((m.rightEdge() - m.current) % 4, 0);
            EXPECT_EQ((m.leftEdge() - m.current) % 4, 0);
        }
    }
}

TEST(ViewGeometry, PositionsAreClampedToTheData) {
    Mapping m;
    m.samplesPerDiv = 1000;
    m.width = 800;
    m.first = 44;
    m.last = 44 + 4 * 1000;
    m.current = 44;
    EXPECT_EQ(m.positionAt(0), 44);
    EXPECT_EQ(m.positionAt(799), m.last);
    EXPECT_LT(m.rawPositionAt(0), 44);
}

TEST(ViewGeometry, SampleValuesAndTraceColumns) {
    // 500 mV/Div: one division (50 pixels) spans 31.25 x 500 sample units.
    EXPECT_DOUBLE_EQ(sampleY(200, int(31.25 * 500), 500), 150);
    EXPECT_DOUBLE_EQ(sampleY(200, -625, 20), 250);
    EXPECT_EQ(columnStep(5), 1);
    EXPECT_EQ(columnStep(50), 1);
    EXPECT_EQ(columnStep(2000), 40);
    // At 5 samples per division every sample takes 10 pixels.
    Mapping m{1000, 500, 5, 0, 1 << 30};
    EXPECT_DOUBLE_EQ(m.xOf(1004) - m.xOf(1000), 10);
}

TEST(ViewGeometry, ScaleTablesLabelsAndLimits) {
    struct Case {
        int rate, index;
        bool coarse;
        const char* caption;
        const char* value;
    };
    const Case cases[] = {
        {44100, 1, false, "H Smp/Div", "5"},    {44100, 4, false, "H Smp/Div", "50"},
        {44100, 9, false, "H Smp/Div", "2000"}, {44100, 10, false, "H Sec/Div", "0.1"},
        {44100, 13, false, "H Sec/Div", "1.0"}, {44100, 17, false, "H Sec/Div", "20.0"},
        {44100, 18, false, "H Min/Div", "1.0"}, {44100, 20, false, "H Min/Div", "5.0"},
        {48000, 10, false, "H Sec/Div", "0.1"}, {48000, 20, false, "H Min/Div", "5.0"},
        {44100, 1, true, "H Sec/Div", "0.1"},   {48000, 7, true, "H Sec/Div", "10.0"},
    };
    for (const Case& c : cases) {
        ScaleLabel l = horizontalLabel(c.rate, c.index, c.coarse);
        EXPECT_EQ(l.caption, c.caption) << c.rate << " " << c.index;
        EXPECT_EQ(l.value, c.value) << c.rate << " " << c.index;
    }
    EXPECT_EQ(coarseScale(44100, 4), 44100);
    EXPECT_EQ(coarseScale(48000, 1), 4800);
    // 10 divisions of 2000 frames = 20000 frames fit; 20001 need the next step.
    EXPECT_EQ(maxFineIndex(44100, 4 * 20000, 500), 9);
    EXPECT_EQ(maxFineIndex(44100, 4 * 20001, 500), 10);
    EXPECT_EQ(maxFineIndex(44100, int64_t{4} * 44100 * 3600 * 10, 100), 20);
}

TEST(ViewGeometry, DraggedEdgesHighlightsAndTimes) {
    EXPECT_EQ(draggedWidth(10), 80);
    EXPECT_EQ(draggedWidth(-10), 80) << "symmetric about the centre";
    EXPECT_EQ(draggedWidth(37.5), 300);
    EXPECT_EQ(draggedWidth(500), 300) << "at most 75 frames";
    EXPECT_DOUBLE_EQ(highlightHalfWidth(100, 50), 26 * 25.0 / 50);
    EXPECT_DOUBLE_EQ(highlightHalfWidth(100 | width_flags::kKeepLeft, 50), 26 * 25.0 / 50);
    EXPECT_EQ(timeText(0, 44100), " 00:00:000");
    EXPECT_EQ(timeText(4 * (44100 * 61 + 22050), 44100), " 01:01:500");
    EXPECT_EQ(timeText(-4 * 4410, 44100), "-00:00:100");
}

CorrectionList listOf(std::initializer_list<Correction> entries) {
    CorrectionList list;
    list.sizeBlockCounters(1 << 24);
    for (const Correction& c : entries) list.insertOrdered(c);
    return list;
}

TEST(EntryNavigation, ListFilterKeysAndRowTexts) {
    // ListSel 1165 with ListMag 20: 20 is listed, 19 is not; markers always.
    const int t = listThreshold(1165, 20);
    EXPECT_TRUE(listed({1, 0, 100, 40, 20}, t));
    EXPECT_FALSE(listed({1, 0, 100, 40, 19}, t));
    EXPECT_TRUE(listed(trackMarker(1, true, 100), listThreshold(1163, 0)));
    EXPECT_TRUE(listed({1, 0, 100, 1, magnitude_codes::kCue}, 30));
    EXPECT_TRUE(listed({1, 0, 100, 8, magnitude_codes::kEdited}, 30));
    EXPECT_FALSE(listed({1, 0, 100, 8, 5 - magnitude_codes::kHideOffset}, -1000));
    EXPECT_TRUE(listed({1, 0, 100, 40, 0}, listThreshold(1149, 99)));
    EXPECT_FALSE(listed({1, 0, 100, 40, 29}, listThreshold(1163, 0)));
    EXPECT_TRUE(listed({1, 0, 100, 40, 15}, listThreshold(1164, 0)));
    EXPECT_FALSE(listed({1, 0, 100, 40, 14}, listThreshold(1164, 0)));
    EXPECT_TRUE(listed({1, 0, 100, 40, 30}, listThreshold(1163, 0)));

    // The end of one track sorts before the start of the next at the same place.
    EXPECT_LT(rowKey(trackMarker(1, false, 2352 * 10)), rowKey(trackMarker(2, true, 2352 * 10)));
    EXPECT_EQ(rowText(trackMarker(2, true, 0), 0, 44100), "Start of Track 2          ");
    EXPECT_EQ(rowText(trackMarker(3, false, 0), 0, 44100), "End of Track 3           ");
    // Times are relative to the current track; before it they get a "-".
    EXPECT_EQ(rowText({1, 0, 44 + 4 * 4410, 40, 33}, 44 + 4 * 44100, 44100),
              "-00:00:900     33            ");
    EXPECT_EQ(rowText({1, 0, 44 + 4 * 44100, 1, magnitude_codes::kCue}, 44, 44100),
              " 00:01:000   Cue            ");
    EXPECT_EQ(rowText({1, 0, 44, 4, magnitude_codes::kSplice}, 44, 44100),
              " 00:00:000   Cut            ");
    EXPECT_EQ(kindColour(kindClass({1, 0, 0, 40, 30})), 0xFFC8C8u);
    EXPECT_EQ(kindColour(kindClass(trackMarker(1, true, 0))), 0xD0D0D0u);
}

TEST(EntryNavigation, StepsFindsAndTheInsertedMark) {
    CorrectionList list = listOf({
        trackMarker(1, true, 1000),             // 1
        {1, 0, 2000, 40, 12},                   // 2
        {1, 0, 3000, 40, 35},                   // 3
        {1, 0, 4000, 1, magnitude_codes::kCue}, // 4
        // At one place a new entry goes first: the start goes in before the end.
        trackMarker(2, true, 5000),                  // 6
        trackMarker(1, false, 5000),                 // 5
        {1, 0, 6000, 40, 31},                        // 7
        {1, 0, 7000, 1, magnitude_codes::kInserted}, // 8
        trackMarker(2, false, 8000),                 // 9
    });
    ASSERT_EQ(list.count(), 11);
    ASSERT_TRUE(isTrackMarker(list[5]) && !isStartMarker(list[5]));
    EXPECT_EQ(findEntry(list, 1, 30, true), 3);
    EXPECT_EQ(findEntry(list, 3, 30, true), 7);
    EXPECT_EQ(findEntry(list, 7, 30, true), 0) << "none left: the caller beeps";
    EXPECT_EQ(findEntry(list, 7, 30, false), 3);
    EXPECT_EQ(findEntry(list, 0, magnitude_codes::kCue, true), 4);
    EXPECT_EQ(findEntry(list, 9, 0, false), 8 - 1) << "kind codes only match themselves";

    EXPECT_EQ(nextTrackMarker(list, 2, true, false), 5);
    EXPECT_EQ(nextTrackMarker(list, 5, true, false), 6);
    EXPECT_EQ(nextTrackMarker(list, 5, true, true), 9) << "gapless skips the coinciding start";
    EXPECT_EQ(nextTrackMarker(list, 2, false, true), 1) << "the first track's start stays";
    EXPECT_EQ(nextTrackMarker(list, 9, true, false), 0);

    EXPECT_EQ(nearestEntry(list, 2400), 2);
    EXPECT_EQ(nearestEntry(list, 2600), 3);
    EXPECT_EQ(nearestEntry(list, 99999), 9);
    EXPECT_EQ(doubleClickEntry(list, 5100, 400, false), 5) << "a marker near the press wins";
    EXPECT_EQ(doubleClickEntry(list, 2900, 400, false), 3);
    EXPECT_EQ(doubleClickEntry(list, 2500, 100, false), 0);

    // The inserted correction is marked current while it is, and let go afterwards.
    int current = adoptCurrentEntry(list, 0, 8);
    EXPECT_EQ(list[8].magnitude, magnitude_codes::kInsertedCurrent);
    current = adoptCurrentEntry(list, current, 3);
    EXPECT_EQ(current, 3);
    EXPECT_EQ(list[8].magnitude, magnitude_codes::kInserted);
    EXPECT_EQ(list[3].magnitude, 35);
}

} // namespace
} // namespace tarnival
