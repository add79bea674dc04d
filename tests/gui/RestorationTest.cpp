// A record side restored through the window with the mouse and keys, checked against the same
// edits made through the engine on a second copy of the side.
#include "app/MainWindow.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "output/SaveTracks.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackEditing.h"
#include "tracks/TrackMarkers.h"
#include "views/AdjustDialog.h"
#include "views/ChildFrame.h"
#include "views/ClickList.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> bytesOf(const std::string& path) {
    return test::readFile(path);
}

// Saves every track as trackN.wav into folder: what the save dialog does once the user pressed
// OK with the default choices.
std::vector<std::string> saveAll(CMorvath3Doc& doc, const std::string& folder) {
    fs::create_directories(folder);
    SaveRequest request;
    for (int t = 1; t <= doc.tracks.trackCount(); ++t) {
        request.trackIndexes.push_back(t);
        request.trackNumbers.push_back(t);
        request.paths.push_back(folder + "/track" + std::to_string(t) + ".wav");
    }
    OutputContext out{doc.store, doc.tracks, doc.splices, doc.ui(), {}, {}, {}};
    SaveOutcome outcome = SaveTracks(out, doc.inputPath(), request);
    if (outcome.workingFileRemoved) doc.forgetWorkingFile();
    return outcome.written;
}

int pixelOf(ClickView& wave, int32_t position) {
    return int(std::lround(wave.mapping().xOf(position)));
}

TEST(Restoration, ASideRestoredWithMouseAndKeysMatchesTheEngine) {
    test::TempDir dir;
    fs::create_directories(dir.file("gui"));
    fs::create_directories(dir.file("ref"));
    writeDemoSide(dir.file("gui/side.wav"), 3, 12.0, 2.5, 7);
    fs::copy_file(dir.file("gui/side.wav"), dir.file("ref/side.wav"));

    test::BoxAnswerer boxes;
    MainWindow window(test::testProfile());
    window.resize(1200, 800);
    window.show();
    auto rowsMade = std::make_unique<test::RowsMade>(window.frame().list().list());
    ASSERT_TRUE(window.openFile(QString::fromStdString(dir.file("gui/side.wav"))));
    // The progress window has gone: the main window takes the keys again.
    // The offscreen platform gives the activation back to no one after a message box or a
    // tool window: hand it to the main window as a desktop would.
    auto activate = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    };
    ASSERT_TRUE(activate());
    CMorvath3Doc& doc = window.document();
    ClickView& wave = window.wave();
    ChildFrame& frame = window.frame();

    // The same side through the engine alone.
    auto refProfile = test::testProfile();
    test::ScriptedUi refUi;
    CMorvath3Doc ref(*refProfile, refUi);
    ASSERT_TRUE(ref.OpenWave(dir.file("ref/side.wav")));
    ASSERT_TRUE(ref.ProcessFile());
    ASSERT_EQ(doc.corrections.entries(), ref.corrections.entries());
    ASSERT_GE(doc.tracks.trackCount(), 2);
    ASSERT_EQ(doc.currentEntry, 1);
    EXPECT_EQ(frame.list().list()->count(), doc.corrections.count() - 2) << "every entry listed";
    EXPECT_EQ(rowsMade->count, frame.list().list()->count()) << "the open fills the list once";
    EXPECT_EQ(frame.list().list()->currentRow(), 0) << "on the current entry";
    rowsMade.reset();

    // Stepping: Shift+Down goes to the next entry, Down to the next row of the list.
    wave.setFocus();
    QTest::keyClick(&wave, Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(&wave, Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(doc.currentEntry, 3);
    QTest::keyClick(&wave, Qt::Key_Down);
    EXPECT_EQ(doc.currentEntry, 4);
    QTest::keyClick(&wave, Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(doc.currentEntry, 3);
    EXPECT_EQ(wave.position(), doc.corrections[3].position);
    EXPECT_EQ(frame.list().list()->currentRow(), 2) << "the list follows";

    // F3 finds the next correction of magnitude 30 or more.
    QTest::keyClick(&wave, Qt::Key_F3);
    const int found = doc.currentEntry;
    ASSERT_GT(found, 3);
    EXPECT_GE(doc.corrections[found].magnitude, 30);
    for (int i = 4; i < found; ++i)
        EXPECT_FALSE(doc.corrections[i].magnitude >= 30 && doc.corrections[i].width >= 0);

    // Del removes it after the question; the position stays where it was.
    const Correction removed = doc.corrections[found];
    boxes.answers = {"OK"};
    QTest::keyClick(&wave, Qt::Key_Delete);
    EXPECT_TRUE(boxes.texts.last().contains("Really Remove?"));
    ASSERT_TRUE(activate());
    EXPECT_EQ(wave.position(), removed.position);
    ASSERT_EQ(ref.editor().Remove(found, found), CorrectionEditor::kNone);
    EXPECT_EQ(doc.corrections.entries(), ref.corrections.entries());
    EXPECT_TRUE(doc.modified);

    // Insert one by mouse: a double click where nothing is near moves the position there, Ins
    // inserts a correction, Up widens it twice and Apply keeps it.
    const view::Mapping m = wave.mapping();
    int x = wave.width() / 2 + 150;
    for (; x < wave.width(); x += 10) {
        const int32_t p = m.positionAt(x - 6);
        const int near = view::nearestEntry(doc.corrections, p);
        if (std::abs(doc.corrections[near].position - p) > 4 * m.samplesPerDiv) break;
    }
    QTest::mouseDClick(&wave, Qt::LeftButton, {}, QPoint(x, 100));
    const int32_t at = m.positionAt(x - 6);
    EXPECT_EQ(wave.position(), at);
    QTest::keyClick(&wave, Qt::Key_Insert);
    ASSERT_TRUE(wave.adjusting());
    EXPECT_TRUE(wave.adjustDialog()->isVisible());
    EXPECT_EQ(wave.adjustDialog()->windowTitle(), "Insert Correction");
    const int inserted = doc.currentEntry;
    EXPECT_EQ(doc.corrections[inserted].width, 104) << "normal width, then one step up";
    QTest::keyClick(&wave, Qt::Key_Up);
    QTest::keyClick(&wave, Qt::Key_Up);
    QTest::mouseClick(wave.adjustDialog()->applyButton(), Qt::LeftButton);
    ASSERT_TRUE(activate());
    EXPECT_FALSE(wave.adjusting());
    EXPECT_EQ(doc.corrections[inserted].width, 112);
    EXPECT_EQ(doc.corrections[inserted].magnitude, magnitude_codes::kEdited);
    const int refInserted = ref.editor().InsertUserCorrection(at, refUi);
    ASSERT_EQ(refInserted, inserted);
    ref.editor().RestoreCluster(refInserted, false);
    ref.editor().SetEntry(refInserted, 112, -1, true);
    ref.editor().RestoreCluster(refInserted, true);
    ref.corrections[refInserted].magnitude = magnitude_codes::kEdited;
    EXPECT_EQ(doc.corrections.entries(), ref.corrections.entries());

    // Move the end of track 1 by dragging its boundary, then Apply.
    window.action("tracks.nextMarker")->trigger();
    const int marker = doc.currentEntry;
    ASSERT_TRUE(isTrackMarker(doc.corrections[marker]) && !isStartMarker(doc.corrections[marker]));
    EXPECT_TRUE(wave.coarse());
    const int bx = pixelOf(wave, doc.corrections[marker].position);
    QTest::mousePress(&wave, Qt::LeftButton, {}, QPoint(bx, 200));
    EXPECT_TRUE(wave.adjusting());
    QTest::mouseMove(&wave, QPoint(bx - 40, 200));
    QTest::mouseRelease(&wave, Qt::LeftButton, {}, QPoint(bx - 40, 200));
    const int32_t released = wave.mapping().positionAt(bx - 40);
    QTest::mouseClick(wave.adjustDialog()->applyButton(), Qt::LeftButton);
    ASSERT_TRUE(activate());
    const int32_t q = sectorFloor(doc.store.layout, released);
    EXPECT_EQ((q - doc.store.layout.frameRemainder) % 2352, 0);
    EXPECT_EQ(doc.tracks[1].end, doc.splices.sourceToDisplay(q));
    {
        TrackContext ctx = ref.trackContext();
        const Track& t = ref.tracks[1];
        ASSERT_GT(MoveBoundary(ctx, marker, q, q - t.fadeOut, q + t.postSilence), 0);
    }
    EXPECT_EQ(doc.tracks.tracks, ref.tracks.tracks);
    EXPECT_EQ(doc.corrections.entries(), ref.corrections.entries());

    // Select a block in track 2 by dragging across the waveform, then cut it out.
    window.action("tracks.nextMarker")->trigger();
    QTest::keyClick(&wave, Qt::Key_F3);
    ASSERT_TRUE(wave.currentIsCorrection());
    window.action("keys.hCoarser")->trigger();
    window.action("keys.hCoarser")->trigger();
    const int cx = wave.width() / 2;
    QTest::mousePress(&wave, Qt::LeftButton, {}, QPoint(cx - 100, 150));
    QTest::mouseMove(&wave, QPoint(cx + 50, 150));
    QTest::mouseRelease(&wave, Qt::LeftButton, {}, QPoint(cx + 50, 150));
    ASSERT_TRUE(wave.hasBlock());
    const int32_t blockStart = wave.blockStart(), blockEnd = wave.blockEnd();
    EXPECT_EQ(blockStart, wave.mapping().positionAt(cx - 100));
    EXPECT_EQ(blockEnd, wave.mapping().positionAt(cx + 50));
    EXPECT_EQ(doc.blockStart, blockStart);
    ASSERT_TRUE(window.action("block.cutSplice")->isEnabled());
    window.action("block.cutSplice")->trigger();
    EXPECT_FALSE(wave.hasBlock());
    ASSERT_EQ(doc.splices.count(), 1);
    EXPECT_TRUE(isSpliceMarker(doc.corrections[doc.currentEntry]));
    {
        TrackContext ctx = ref.trackContext();
        ASSERT_GT(CutAndSplice(ctx, blockStart, blockEnd), 0);
    }
    EXPECT_EQ(doc.corrections.entries(), ref.corrections.entries());
    EXPECT_EQ(doc.tracks.tracks, ref.tracks.tracks);
    EXPECT_EQ(bytesOf(doc.workingPath()), bytesOf(ref.workingPath())) << "the same audio";

    // Save the tracks (Ctrl+S, connected as the save dialog would be) and compare the files.
    std::vector<std::string> written;
    window.bind("file.save", [&] { written = saveAll(doc, dir.file("gui/out")); });
    QTest::keyClick(&wave, Qt::Key_S, Qt::ControlModifier);
    const std::vector<std::string> refWritten = saveAll(ref, dir.file("ref/out"));
    ASSERT_EQ(written.size(), size_t(doc.tracks.trackCount()));
    ASSERT_EQ(written.size(), refWritten.size());
    for (size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(bytesOf(written[i]), bytesOf(refWritten[i])) << written[i];
        EXPECT_GT(fs::file_size(written[i]), 44u);
    }
}

TEST(Restoration, ClosePromptKeepsOrDropsTheWork) {
    test::TempDir dir;
    test::Stereo audio = test::music(44100 * 6, 44100, 3, 5000);
    for (int c = 0; c < 4; ++c) test::addClick(audio, {44100 + c * 30000, 4, 12000});
    test::writeWav(dir.file("side.wav"), audio);

    test::BoxAnswerer boxes;
    auto window = std::make_unique<MainWindow>(test::testProfile());
    window->show();
    ASSERT_TRUE(window->openArgument(QString::fromStdString(dir.file("side.wav"))));
    EXPECT_TRUE(fs::exists(dir.file("side~.wav")));
    window->document().modified = true;

    boxes.answers = {"Cancel"};
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(boxes.texts.last().startsWith("Your waveform corrections have not been saved."));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(fs::exists(dir.file("side~.wav")));

    boxes.answers = {"Do Not Save"};
    EXPECT_TRUE(window->close());
    EXPECT_FALSE(fs::exists(dir.file("side~.wav"))) << "the working file goes with the document";
}

TEST(Restoration, CommandLineArgumentsByExtension) {
    test::TempDir dir;
    test::writeWav(dir.file("SIDE.WAV"), test::music(44100 * 4, 44100, 2, 4000));
    test::writeWav(dir.file("side.txt"), test::music(44100, 44100, 2, 4000));
    test::BoxAnswerer boxes;
    MainWindow window(test::testProfile());
    QString restored;
    window.sessionRestorer = [&](const QString& path) {
        restored = path;
        return true;
    };
    EXPECT_FALSE(window.openArgument(QString::fromStdString(dir.file("side.txt"))));
    EXPECT_FALSE(window.document().isLoaded()) << "other extensions are ignored";
    EXPECT_TRUE(window.openArgument(QString::fromStdString(dir.file("old.SES"))));
    EXPECT_EQ(restored, QString::fromStdString(dir.file("old.SES")));
    EXPECT_TRUE(window.openArgument(QString::fromStdString(dir.file("SIDE.WAV"))));
    EXPECT_TRUE(window.document().isLoaded());
    EXPECT_EQ(window.recentFiles().value(0), QString::fromStdString(dir.file("SIDE.WAV")));
    window.document().modified = false;
}

} // namespace
} // namespace tarnival
