#include "TrackFixture.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarnival::test {
namespace {

constexpr int32_t kSecond = 176400; // bytes per second at 44.1 kHz

TEST(TrackMarkers, RebuildPlacesTwoPerTrackAndCountsBlocks) {
    TrackDoc doc;
    doc.insert(200000, 20, 40);
    doc.setTracks({{4704, 600000}, {600000, 21000000}}); // the last end beyond entry 0
    EXPECT_EQ(doc.corrections.count(), 2 + 1 + 4);
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -4, -3, -5}));
    EXPECT_EQ(doc.corrections[doc.findWidth(-5)].position, 20000044); // cut back to entry 0
    EXPECT_EQ(doc.corrections.blockCounters()[0], 2); // the correction and one marker
    auto ctx = doc.ctx();
    EXPECT_EQ(RemoveTrackMarkers(doc.corrections), 4);
    EXPECT_EQ(doc.corrections.blockCounters()[0], 1);
    EXPECT_EQ(doc.corrections.count(), 3);
    // Markers go through the cut map.
    doc.splices.insert(Splice{100044, 200044, 880, 0, {}});
    RebuildTrackMarkers(ctx);
    EXPECT_EQ(doc.corrections[doc.findWidth(-4)].position, 600000 + 100880);
}

TEST(CueMarkers, EachCueSplitsUnlessTooClose) {
    TrackDoc doc;
    doc.setTracks({{4704, 4704 + 20 * kSecond}});
    doc.insert(4704 + 5 * kSecond, 1, -1);
    doc.insert(4704 + 5 * kSecond + kSecond / 2, 1, -1); // too close to the split before it
    doc.insert(4704 + 12 * kSecond, 1, -1);
    doc.insert(4704 + 12 * kSecond + 100, 1, -10001); // a hidden cue does not count
    auto ctx = doc.ctx();
    int selected = 0;
    EXPECT_EQ(CueMarkersToTracks(ctx, &selected), 2);
    EXPECT_EQ(doc.tracks.trackCount(), 3);
    EXPECT_EQ(doc.ui.messages.size(), 1u);
    EXPECT_EQ(doc.tracks[2].start, 4704 + 5 * kSecond);
    EXPECT_EQ(doc.tracks[3].start, 4704 + 12 * kSecond);
    EXPECT_EQ(doc.corrections[selected].width, -5);
    EXPECT_EQ(doc.markerWidths(), (std::vector<int32_t>{-2, -4, -3, -6, -5, -7}));
}

} // namespace
} // namespace tarnival::test
