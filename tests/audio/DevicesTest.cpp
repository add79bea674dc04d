#include "audio/AudioDevice.h"
#include "audio/SoundServer.h"
#include "devices/DeviceList.h"
#include "devices/VolumeControl.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace tarnival::test {
namespace {

using namespace std::chrono_literals;

bool appears(const std::string& path) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(10ms);
    return std::filesystem::exists(path);
}

TEST(VolumeControl, StartsTheProgramWithItsWordsAndNoShell) {
    ensureQtApplication();
    TempDir dir;
    std::string error;
    // No shell: "$HOME" stays as it is written.
    const std::string spaced = dir.file("with space"), literal = dir.file("x$HOME");
    ASSERT_TRUE(startVolumeControl("touch \"" + spaced + "\" " + literal, error)) << error;
    EXPECT_TRUE(appears(spaced));
    EXPECT_TRUE(appears(literal));

    EXPECT_FALSE(startVolumeControl("tarnival-no-such-mixer --tab=4", error));
    EXPECT_NE(error.find("tarnival-no-such-mixer"), std::string::npos);
    EXPECT_FALSE(startVolumeControl("   ", error));
}

TEST(DeviceList, NumbersFollowTheListAndAMissingDeviceFallsBackToTheDefault) {
    if (std::string problem = soundServerProblem(); !problem.empty())
        GTEST_SKIP() << "No sound server: " << problem;
    ensureQtApplication();
    const std::vector<std::string> outputs = outputDeviceNames();
    const std::vector<std::string> choices = outputDeviceChoices();
    ASSERT_EQ(choices.size(), outputs.size() + 1); // the default device first
    EXPECT_EQ(choices[0], kDefaultDeviceLabel);
    const int n = nullOutputDevice();
    ASSERT_GE(n, 0);
    EXPECT_EQ(choices[static_cast<size_t>(n) + 1], "Null-Output");

    std::string notice;
    EXPECT_EQ(resolveOutputDevice(n, notice).description().toStdString(), "Null-Output");
    EXPECT_TRUE(notice.empty());
    QAudioDevice fallback =
        resolveInputDevice(static_cast<int>(inputDeviceNames().size()) + 3, notice);
    EXPECT_FALSE(fallback.isNull());
    EXPECT_NE(notice.find("no longer present"), std::string::npos);
    resolveOutputDevice(kDefaultDevice, notice); // -1
    EXPECT_TRUE(notice.empty());
}

} // namespace
} // namespace tarnival::test
