#include "TrackFixture.h"

#include <gtest/gtest.h>

#include <limits>

namespace tarnival::test {
namespace {

constexpr int32_t kSecond = 176400; // bytes per second at 44.1 kHz

TEST(TrackTimings, SecondsDefaultsAndFadeSettings) {
    TrackDoc doc(20000000);
    EXPECT_EQ(secondsToBytes("2.3", 44100), 405720);
    EXPECT_EQ(secondsToBytes("0.5", 48000), 96000);
    EXPECT_EQ(secondsToBytes(" 1,5", 44100), 264600);
    EXPECT_EQ(secondsToBytes("", 44100), 0);
    EXPECT_EQ(secondsToBytes("abc", 44100), 0);
    EXPECT_EQ(secondsToBytes("-3", 44100), 0);
    EXPECT_EQ(secondsToBytes("1e12", 44100), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(bytesToSeconds(88200, 44100), "0.5");
    EXPECT_EQ(bytesToSeconds(405720, 44100), "2.3");
    EXPECT_EQ(lengthText(65 * kSecond + 1000, 44100), " 1:05");

    MemoryProfile profile;
    DefaultTimings t;
    t.preSilence = "1.0";
    t.fadeIn = "0.5";
    t.fadeOut = "2.0";
    t.postSilence = "3.0";
    StoreDefaultTimings(profile, t);
    EXPECT_EQ(profile.getString("Settings", "FadeOut", ""), "2.0");
    Track track;
    ApplyDefaultTimings(track, LoadDefaultTimings(profile), 44100);
    EXPECT_EQ(track.preSilence, kSecond);
    EXPECT_EQ(track.fadeIn, kSecond / 2);
    EXPECT_EQ(track.fadeOut, 2 * kSecond);
    EXPECT_EQ(track.postSilence, 3 * kSecond);

    auto ctx = doc.ctx();
    SetFadeLinear(ctx, true);
    EXPECT_EQ(doc.profile.getInt("Settings", "Fade Linear", 0), 1);
    doc.profile.setInt("Settings", "Gapless", 1);
    TrackList fresh;
    LoadTrackSettings(fresh, doc.profile);
    EXPECT_TRUE(fresh.fadeLinear);
    EXPECT_TRUE(fresh.gapless);
}

} // namespace
} // namespace tarnival::test
