// A process killed while it writes a session leaves the previous session or the new one, whole.
#include "session/SessionFile.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tarnival {
namespace {

// A session of some megabytes, so that a kill lands inside the write most of the time.
SessionData bigSession(int32_t mark) {
    SessionData d;
    d.inputPath = "/rec/side.wav";
    d.corrections.assign(150000, Correction{mark, mark, mark, mark, mark});
    d.chunkLevels.assign(100000, static_cast<uint32_t>(mark));
    d.selectedEntry = mark;
    return d;
}

TEST(SessionKill, AKilledWriterLeavesTheOldOrTheNewSessionWhole) {
    test::TempDir dir;
    const std::string path = dir.file("side.ses");
    const std::vector<uint8_t> first = encodeSession(bigSession(1));
    const std::vector<uint8_t> second = encodeSession(bigSession(2));
    writeSessionFile(path, bigSession(1));

    int sawFirst = 0, sawSecond = 0;
    for (int round = 0; round < 12; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves alternately until it is killed.
            for (int i = 0;; ++i) writeSessionFile(path, bigSession(i % 2 ? 1 : 2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(15 + 7 * round));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status));
        const std::vector<uint8_t> now = test::readFile(path);
        const bool isFirst = now == first, isSecond = now == second;
        EXPECT_TRUE(isFirst || isSecond)
            << "round " << round << ": a mixture of " << now.size() << " bytes";
        sawFirst += isFirst;
        sawSecond += isSecond;
        EXPECT_EQ(readSessionFile(path).selectedEntry, isFirst ? 1 : 2);
    }
    // The child really was writing: both versions were seen.
    EXPECT_GT(sawFirst + sawSecond, 0);
    EXPECT_GT(sawSecond, 0);
}

} // namespace
} // namespace tarnival
