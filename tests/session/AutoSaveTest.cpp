// The automatic session save: when it runs, the ".bak" of the previous session, and failures
// that must cost neither the session nor its backup.
#include "session/AutoSave.h"
#include "document/FileError.h"
#include "facade/Document.h"
#include "session/SessionFile.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

// An AutoSave over a fake document and clock: each save writes "state N" for the current N.
struct Rig {
    test::TempDir dir;
    MemoryProfile profile;
    test::ScriptedUi ui;
    int64_t now = 1000;
    bool modified = true;
    bool busy = false;
    int state = 1;
    int saves = 0;
    std::vector<std::string> panes;
    std::function<void(const std::string&, const std::vector<uint8_t>&)> writer;
    std::string input;
    std::unique_ptr<AutoSave> autoSave;

    Rig() : input(dir.file("side1.wav")) {
        AutoSave::Hooks h;
        h.busy = [this] { return busy; };
        h.modified = [this] { return modified; };
        h.inputPath = [this] { return input; };
        h.encode = [this] {
            ++saves;
            std::string text = "state " + std::to_string(state);
            return std::vector<uint8_t>(text.begin(), text.end());
        };
        h.showSaving = [this](bool on) { panes.push_back(on ? "Auto-Saving" : "back"); };
        h.now = [this] { return now; };
        h.writeFile = [this](const std::string& path, const std::vector<uint8_t>& bytes) {
            if (writer) return writer(path, bytes);
            test::writeFile(path, bytes);
        };
        autoSave = std::make_unique<AutoSave>(profile, ui, std::move(h));
    }
    std::string text(const std::string& name) const {
        std::vector<uint8_t> b = test::readFile(dir.file(name));
        return std::string(b.begin(), b.end());
    }
    int fileCount() const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir.path())) n += e.is_regular_file();
        return n;
    }
};

TEST(AutoSave, RunsEveryFiveMinutesOnlyWhenOnAndModified) {
    Rig r;
    EXPECT_EQ(replaceExtension("/rec/side1.wav", ".ses"), "/rec/side1.ses");
    EXPECT_EQ(replaceExtension("/rec/side1.wav", ".bak"), "/rec/side1.bak");
    // Off (the default): never, however long it idles.
    EXPECT_FALSE(r.autoSave->enabled());
    r.now += 10000;
    EXPECT_FALSE(r.autoSave->idle());

    r.autoSave->setEnabled(true);
    EXPECT_EQ(get(r.profile, settings::kAutoSave), 1);
    // The first save follows about two seconds after switching on.
    r.now += 2;
    EXPECT_FALSE(r.autoSave->idle());
    r.now += 1;
    EXPECT_TRUE(r.autoSave->idle());
    EXPECT_EQ(r.text("side1.ses"), "state 1");
    EXPECT_EQ(r.panes, (std::vector<std::string>{"Auto-Saving", "back"}));
    EXPECT_EQ(r.autoSave->lastSave(), r.now);
    // Then every 300 s: not at 300, at 301.
    r.now += 300;
    EXPECT_FALSE(r.autoSave->idle());
    r.now += 1;
    r.state = 2;
    EXPECT_TRUE(r.autoSave->idle());
    EXPECT_EQ(r.text("side1.ses"), "state 2");

    // Unmodified: no save, and the clock does not move.
    r.modified = false;
    const int64_t last = r.autoSave->lastSave();
    r.now += 1000;
    EXPECT_FALSE(r.autoSave->idle());
    EXPECT_EQ(r.autoSave->lastSave(), last);
    EXPECT_TRUE(r.autoSave->saveNow()); // nothing to do is no failure
    EXPECT_EQ(r.saves, 2);

    // Busy (playing, or a long operation): the save does not run.
    r.modified = true;
    r.busy = true;
    EXPECT_FALSE(r.autoSave->saveNow());
    EXPECT_EQ(r.saves, 2);

    r.autoSave->setEnabled(false);
    EXPECT_EQ(get(r.profile, settings::kAutoSave), 0);
    r.busy = false;
    r.now += 1000;
    EXPECT_FALSE(r.autoSave->idle());
    EXPECT_EQ(r.saves, 2);
}

TEST(AutoSave, ThePreviousSessionBecomesTheBackup) {
    Rig r;
    for (int state = 1; state <= 3; ++state) {
        r.state = state;
        ASSERT_TRUE(r.autoSave->saveNow());
    }
    EXPECT_EQ(r.text("side1.ses"), "state 3");
    EXPECT_EQ(r.text("side1.bak"), "state 2");
    EXPECT_EQ(r.fileCount(), 2);
    EXPECT_TRUE(r.ui.messages.empty());
}

TEST(AutoSave, AFailedSaveKeepsTheSessionAndTheBackup) {
    Rig r;
    r.state = 1;
    ASSERT_TRUE(r.autoSave->saveNow());
    r.state = 2;
    ASSERT_TRUE(r.autoSave->saveNow());

    // A disk that fills half way through the new session.
    r.writer = [](const std::string& path, const std::vector<uint8_t>& bytes) {
        test::writeFile(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + 3));
        throw FileError(path, std::strerror(ENOSPC));
    };
    r.state = 3;
    EXPECT_FALSE(r.autoSave->saveNow());
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_NE(r.ui.messages[0].find("AutoSave failed; the previous session is kept."),
              std::string::npos);
    EXPECT_NE(r.ui.messages[0].find(std::strerror(ENOSPC)), std::string::npos);
    EXPECT_EQ(r.text("side1.ses"), "state 2");
    EXPECT_EQ(r.text("side1.bak"), "state 1");
    EXPECT_EQ(r.fileCount(), 2); // no partial file left behind

    // A backup name that cannot be replaced (a folder with something in it).
    r.writer = nullptr;
    fs::remove(r.dir.file("side1.bak"));
    fs::create_directories(r.dir.file("side1.bak/inside"));
    r.ui.messages.clear();
    EXPECT_FALSE(r.autoSave->saveNow());
    EXPECT_EQ(r.ui.messages, std::vector<std::string>{"AutoSave Remove Backup Error"});
    EXPECT_EQ(r.text("side1.ses"), "state 2");
    EXPECT_EQ(r.fileCount(), 1);

    // A folder that cannot take the new file at all.
    fs::remove_all(r.dir.file("side1.bak"));
    r.input = r.dir.file("gone/side1.wav");
    r.ui.messages.clear();
    EXPECT_FALSE(r.autoSave->saveNow());
    ASSERT_EQ(r.ui.messages.size(), 1u);
    EXPECT_EQ(r.text("side1.ses"), "state 2");
}

TEST(AutoSave, TheDocumentSavesBeforeItsTracksAndStaysModified) {
    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kTempMode, ids::kTempUser);
    set(profile, settings::kTempPath, dir.path().string());
    set(profile, settings::kSensitivity, 3);
    const std::string input = dir.file("side1.wav");
    writeDemoSide(input, 2, 3.0, 2.5, 9);
    test::ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    ASSERT_TRUE(doc.OpenWave(input) && doc.ProcessFile());
    doc.modified = true;

    // Off: the save before the tracks writes nothing.
    doc.AutoSaveBeforeSavingTracks();
    EXPECT_FALSE(fs::exists(dir.file("side1.ses")));

    doc.autoSave().setEnabled(true);
    doc.currentEntry = 2;
    doc.AutoSaveBeforeSavingTracks();
    ASSERT_TRUE(fs::exists(dir.file("side1.ses")));
    EXPECT_EQ(readSessionFile(dir.file("side1.ses")).selectedEntry, 2);
    EXPECT_TRUE(doc.modified);
    EXPECT_EQ(ui.statusPanes[1], doc.statusString());

    // Playing: no save now.
    doc.playing = [] { return true; };
    doc.currentEntry = 3;
    EXPECT_FALSE(doc.AutoSaveDocument());
    doc.playing = nullptr;
    // Nor inside a long operation (its progress display is up).
    ui.shown = true;
    EXPECT_FALSE(doc.AutoSaveDocument());
    ui.shown = false;
    EXPECT_TRUE(doc.AutoSaveDocument());
    EXPECT_EQ(readSessionFile(dir.file("side1.ses")).selectedEntry, 3);
    EXPECT_EQ(readSessionFile(dir.file("side1.bak")).selectedEntry, 2);
}

} // namespace
} // namespace tarnival
