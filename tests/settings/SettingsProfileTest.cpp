#include "settings/SettingsProfile.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace tarnival {
namespace {

TEST(SettingsProfile, ValuesSurviveAReopenAndBadValuesReadAsDefaults) {
    test::TempDir dir;
    std::string ini = dir.file("Tarnival.ini");
    {
        SettingsProfile p(ini);
        p.setInt("Settings", "Min Magnitude", 7);
        p.setInt("Settings", "Temp Mode", 1142);
        p.setString("Settings", "Temp Path", "/scratch/tarnival work");
        p.setBinary("Filters", "Bass Lift", {0, 1, 2, 255, 128});
        p.sync();
    }
    SettingsProfile p(ini);
    EXPECT_EQ(p.getInt("Settings", "Min Magnitude", 0), 7);
    EXPECT_EQ(p.getInt("Settings", "Temp Mode", 1135), 1142);
    EXPECT_EQ(p.getString("Settings", "Temp Path", ""), "/scratch/tarnival work");
    EXPECT_EQ(p.getBinary("Filters", "Bass Lift"), (std::vector<uint8_t>{0, 1, 2, 255, 128}));
    EXPECT_EQ(p.getInt("Settings", "Sensitivity", -1), -1);
    EXPECT_EQ(p.getString("Settings", "PathName", "none"), "none");
    EXPECT_FALSE(p.getBinary("Filters", "Missing").has_value());

    // A hand-edited file: a word where a number belongs reads as absent, junk lines are ignored.
    std::ofstream(ini) << "[Settings]\nSensitivity=loud\nAGC=2\nthis is not a setting\n";
    SettingsProfile edited(ini);
    EXPECT_EQ(edited.getInt("Settings", "Sensitivity", -1), -1);
    EXPECT_EQ(edited.getInt("Settings", "AGC", 0), 2);
}

} // namespace
} // namespace tarnival
