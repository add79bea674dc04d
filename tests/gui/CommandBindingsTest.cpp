// The commands of the table reach the document through the window: every one is connected, and
// the ones that change the document do so as the engine does.
#include "app/CommandTable.h"
#include "app/MainWindow.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "views/ChildFrame.h"
#include "views/ClickList.h"
#include "views/ClickView.h"

#include <gtest/gtest.h>

#include <QAction>

#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

// Interleaved samples of a working or source file between two byte positions.
std::vector<uint8_t> bytesBetween(const std::string& path, int32_t from, int32_t to) {
    const std::vector<uint8_t> all = test::readFile(path);
    return {all.begin() + from, all.begin() + to};
}

TEST(CommandBindings, EveryCommandIsConnectedAndActsOnTheDocument) {
    test::TempDir dir;
    test::Stereo audio = test::music(44100 * 8, 44100, 3, 5000);
    for (int c = 0; c < 12; ++c) test::addClick(audio, {30000 + c * 25000, 6, 12000});
    test::writeWav(dir.file("side.wav"), audio);

    test::BoxAnswerer boxes;
    MainWindow window(test::testProfile());
    window.show();
    // The on-line support page has no address yet, so its command stays unconnected.
    for (const Command& command : commandTable()) {
        if (command.id == "help.support") continue;
        EXPECT_TRUE(window.isBound(command.id)) << command.id.toStdString();
    }

    window.refreshCommands();
    EXPECT_FALSE(window.action("file.save")->isEnabled()) << "nothing to save yet";
    EXPECT_FALSE(window.action("file.saveSession")->isEnabled());
    ASSERT_TRUE(window.openFile(QString::fromStdString(dir.file("side.wav"))));
    CMorvath3Doc& doc = window.document();
    window.refreshCommands();
    EXPECT_TRUE(window.action("file.save")->isEnabled());
    EXPECT_TRUE(window.action("file.saveSession")->isEnabled());
    EXPECT_FALSE(window.action("block.removeCorrections")->isEnabled()) << "no block yet";

    // Check marks follow the document and the settings.
    window.action("block.spliceLong")->trigger();
    EXPECT_EQ(doc.splices.crossFadeIndex, 2);
    window.refreshCommands();
    EXPECT_TRUE(window.action("block.spliceLong")->isChecked());
    EXPECT_FALSE(window.action("block.spliceShort")->isChecked());
    const bool autoSaveWas = doc.autoSave().enabled();
    window.action("file.autoSave")->trigger();
    EXPECT_NE(doc.autoSave().enabled(), autoSaveWas);
    EXPECT_EQ(window.profile().getInt("Settings", "AutoSave", -1), autoSaveWas ? 0 : 1);
    window.action("file.autoSave")->trigger();

    // Removing a block's corrections puts the original audio back inside it.
    const auto corrections = [&doc](int32_t from, int32_t to) {
        int n = 0;
        for (const Correction& c : doc.corrections.entries())
            if (c.width >= 0 && c.magnitude >= 0 && c.position > from && c.position < to) ++n;
        return n;
    };
    const int32_t start = doc.store.layout.dataStart;
    const int32_t from = start + 4 * 40000, to = start + 4 * 140000;
    const int before = corrections(from, to);
    ASSERT_GE(before, 3) << "the clicks were found";
    window.wave().setBlock(from, to);
    window.refreshCommands();
    ASSERT_TRUE(window.action("block.removeCorrections")->isEnabled());
    window.action("block.removeCorrections")->trigger();
    EXPECT_EQ(corrections(from, to), 0);
    EXPECT_GT(corrections(to, doc.store.layout.dataEnd), 0) << "the rest is left alone";
    EXPECT_EQ(bytesBetween(doc.workingPath(), from, to),
              bytesBetween(dir.file("side.wav"), from, to));

    // A session saved and opened through the window comes back with the same corrections,
    // cue marks and scales.
    window.wave().clearBlock();
    window.wave().setPosition(doc.store.layout.toFrame(start + 4 * 200000));
    window.wave().insertCue();
    ASSERT_EQ(window.wave().cues().size(), 1u);
    const std::vector<int32_t> cues = window.wave().cues();
    window.wave().setVerticalIndex(window.wave().verticalIndex() + 2);
    window.wave().setScaleIndex(window.wave().scaleIndex() + 1);
    const int vertical = window.wave().verticalIndex(), horizontal = window.wave().scaleIndex();
    const std::vector<Correction> list = doc.corrections.entries();
    doc.verticalScale = vertical;
    doc.horizontalScale = horizontal;
    ASSERT_TRUE(doc.SaveSession(dir.file("side.ses")));
    window.wave().setVerticalIndex(vertical - 2);
    boxes.answers = {"Do Not Save"};
    QListWidget* rows = window.frame().list().list();
    auto rowsMade = std::make_unique<test::RowsMade>(rows);
    ASSERT_TRUE(window.openArgument(QString::fromStdString(dir.file("side.ses"))));
    EXPECT_TRUE(doc.isLoaded());
    EXPECT_EQ(doc.corrections.entries(), list);
    EXPECT_EQ(rows->count(), doc.corrections.count() - 2) << "every entry listed";
    EXPECT_EQ(rowsMade->count, rows->count()) << "the restore fills the list once";
    rowsMade.reset();
    EXPECT_TRUE(window.wave().loaded()) << "the views show the restored side";
    EXPECT_EQ(window.wave().cues(), cues);
    EXPECT_EQ(window.wave().verticalIndex(), vertical);
    EXPECT_EQ(window.wave().scaleIndex(), horizontal);
    doc.modified = false;
}

} // namespace
} // namespace tarnival
