// A process killed while it writes a session leaves the previous session or the new one, whole.
#include "document/Profile.h"
#include "session/AutoSave.h"
#include "session/SessionFile.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

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

    for (int round = 0; round < 12; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves alternately until it is killed.
            for (int i = 0;; ++i) writeSessionFile(path, bigSession(i % 2 ? 1 : 2));
        }
        if (round == 0) {
            // The child really writes: its first session replaces the one above. It goes on
            // writing, so the file is looked at once per try. Generous: a sanitizer build on a
            // busy machine may take many seconds for the first.
            bool replaced = false;
            for (int wait = 0; wait < 12000 && !replaced; ++wait) {
                replaced = test::readFile(path) == second;
                if (!replaced) std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            EXPECT_TRUE(replaced) << "the writer never saved";
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
        EXPECT_EQ(readSessionFile(path).selectedEntry, isFirst ? 1 : 2);
    }
}

TEST(SessionKill, AKilledAutoSaveAlwaysLeavesAWholeSessionUnderItsName) {
    test::TempDir dir;
    const std::string input = dir.file("side.wav");
    const std::string path = dir.file("side.ses");
    const std::vector<uint8_t> first = encodeSession(bigSession(1));
    const std::vector<uint8_t> second = encodeSession(bigSession(2));
    writeSessionFile(path, bigSession(1));

    for (int round = 0; round < 10; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            MemoryProfile profile;
            test::ScriptedUi ui;
            int i = 0;
            AutoSave::Hooks h;
            h.modified = [] { return true; };
            h.inputPath = [&] { return input; };
            h.encode = [&] { return ++i % 2 ? second : first; };
            AutoSave saver(profile, ui, h);
            for (;;)
                if (!saver.saveNow()) _exit(3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20 + 9 * round));
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself";
        const std::vector<uint8_t> session = test::readFile(path);
        EXPECT_TRUE(session == first || session == second) << "round " << round;
        if (std::filesystem::exists(dir.file("side.bak"))) {
            const std::vector<uint8_t> backup = test::readFile(dir.file("side.bak"));
            EXPECT_TRUE(backup == first || backup == second) << "round " << round;
        }
    }
}

} // namespace
} // namespace tarnival
