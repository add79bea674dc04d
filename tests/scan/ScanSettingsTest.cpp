#include "scan/ScanSettings.h"
#include "document/Profile.h"

#include <gtest/gtest.h>

namespace tarnival {
namespace {

TEST(ScanSettings, DefaultsStoredKeysAndRoundTrip) {
    MemoryProfile empty;
    ScanSettings s;
    s.load(empty);
    EXPECT_EQ(s.source, 1095);
    EXPECT_EQ(s.sensitivity, -1);
    EXPECT_EQ(s.mode, 1005);
    EXPECT_EQ(s.agc, 0);
    EXPECT_EQ(s.discriminator, 0);
    EXPECT_EQ(s.minMagnitude, 0);
    EXPECT_EQ(s.corWidth, 1303);
    EXPECT_EQ(s.splitTracks, 1);
    EXPECT_EQ(s.gapless, 0);
    EXPECT_EQ(s.subtractor, 1);

    ScanSettings chosen;
    chosen.source = ids::kTape;
    chosen.sensitivity = 5;
    chosen.mode = ids::kDifferential;
    chosen.agc = 2;
    chosen.discriminator = 3;
    chosen.minMagnitude = 7;
    chosen.corWidth = ids::kNarrowWidth;
    chosen.splitTracks = 0;
    chosen.gapless = 1;
    chosen.subtractor = 3;
    MemoryProfile store;
    chosen.save(store);
    // The stored values are the control identifiers, under the keys users see.
    EXPECT_EQ(store.getInt("Settings", "Source", 0), 1096);
    EXPECT_EQ(store.getInt("Settings", "Mode", 0), 1004);
    EXPECT_EQ(store.getInt("Settings", "Cor Width", 0), 1295);
    EXPECT_EQ(store.getInt("Settings", "Min Magnitude", 0), 7);
    EXPECT_EQ(store.getInt("Settings", "Split Tracks", 1), 0);
    ScanSettings back;
    back.load(store);
    EXPECT_EQ(back.source, chosen.source);
    EXPECT_EQ(back.sensitivity, chosen.sensitivity);
    EXPECT_EQ(back.mode, chosen.mode);
    EXPECT_EQ(back.agc, chosen.agc);
    EXPECT_EQ(back.discriminator, chosen.discriminator);
    EXPECT_EQ(back.minMagnitude, chosen.minMagnitude);
    EXPECT_EQ(back.corWidth, chosen.corWidth);
    EXPECT_EQ(back.splitTracks, chosen.splitTracks);
    EXPECT_EQ(back.gapless, chosen.gapless);
    EXPECT_EQ(back.subtractor, chosen.subtractor);
}

} // namespace
} // namespace tarnival
