#include "scan/ScanSettings.h"
#include "document/Profile.h"

#include <gtest/gtest.h>

namespace tarnival {
namespace {

TEST(ScanSettings, StoredAsControlIdentifiersUnderTheKeysUsersSee) {
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
    // Settings files of earlier versions hold these keys and numbers.
    EXPECT_EQ(store.getInt("Settings", "Source", 0), 1096);
    EXPECT_EQ(store.getInt("Settings", "Mode", 0), 1004);
    EXPECT_EQ(store.getInt("Settings", "Cor Width", 0), 1295);
    EXPECT_EQ(store.getInt("Settings", "Min Magnitude", 0), 7);
    EXPECT_EQ(store.getInt("Settings", "Split Tracks", 1), 0);
    ScanSettings back;
    back.load(store);
    EXPECT_EQ(back, chosen);
    // Nothing stored: the first file processed asks, starting from the default sensitivity.
    ScanSettings fresh;
    fresh.load(MemoryProfile{});
    EXPECT_EQ(fresh, ScanSettings{});
    EXPECT_EQ(deriveFactors(fresh.sensitivity, false).sensitivity, settings::kDefaultSensitivity);
}

} // namespace
} // namespace tarnival
