#include "TrackFixture.h"

#include <gtest/gtest.h>

namespace tarnival::test {
namespace {

constexpr int32_t kSecond = 176400; // bytes per second at 44.1 kHz

TEST(TrackMenu, ItemsAndStatusText) {
    TrackDoc doc(20000000);
    doc.setTracks({{4704, 4704 + 65 * kSecond}, {4704 + 65 * kSecond, 20000044}});
    doc.tracks[1].title = "Intro";
    doc.tracks[2].title = "???";
    auto menu = BuildTrackMenu(doc.tracks, 44100);
    // Item k chooses track k (0: all of them).
    ASSERT_EQ(menu.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(menu[static_cast<size_t>(k)].id, kTrackMenuFirstId + k);
    EXPECT_EQ(menu[0].text, "All Tracks      1:53");
    EXPECT_EQ(menu[1].text, "Track 1        1:05 Intro");
    EXPECT_EQ(menu[2].text, "Track 2        0:48"); // "???" is not shown
    doc.setTracks({{4704, 20000044}});
    doc.tracks[1].title = "Side";
    menu = BuildTrackMenu(doc.tracks, 44100);
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].id, kTrackMenuFirstId + 1);
    EXPECT_EQ(menu[0].text, "Track 1        1:53 Side");
    EXPECT_EQ(trackStatusText(doc.tracks), "Tracks: 1");
    doc.tracks.playTrack = 1;
    EXPECT_EQ(trackStatusText(doc.tracks), "Tr.1 of 1");
    doc.tracks.tracks.resize(1);
    EXPECT_TRUE(BuildTrackMenu(doc.tracks, 44100).empty());
}

} // namespace
} // namespace tarnival::test
