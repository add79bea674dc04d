#include "app/MainWindow.h"
#include "app/TarnivalBar.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "tracks/TrackMarkers.h"
#include "views/ClickView.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

namespace tarnival {
namespace {

TEST(ViewScales, KeysBarAndTablesStayInStep) {
    test::TempDir dir;
    writeDemoSide(dir.file("side.wav"), 2, 8.0, 2.5, 11);
    test::BoxAnswerer boxes;
    MainWindow window(test::testProfile());
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(window.openFile(QString::fromStdString(dir.file("side.wav"))));
    // Offscreen, nothing is active after a message box: activate as a desktop would.
    auto activate = [&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    };
    ASSERT_TRUE(activate());
    ClickView& wave = window.wave();
    TarnivalBar& bar = window.controlBar();
    wave.setFocus();
    window.action("cor.findNext")->trigger();
    ASSERT_TRUE(wave.currentIsCorrection());
    EXPECT_EQ(wave.samplesPerDiv(), 50);
    EXPECT_EQ(bar.horizontal()->text(), "50");

    // Numeric 4 and 6 step the scale; the bar's label follows the table's ranges.
    for (int i = 0; i < 6; ++i) QTest::keyClick(&wave, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(wave.scaleIndex(), 10);
    EXPECT_EQ(bar.horizontalLabel()->text(), "H Sec/Div");
    EXPECT_EQ(bar.horizontal()->text(), "0.1");
    QTest::keyClick(&wave, Qt::Key_6, Qt::KeypadModifier);
    EXPECT_EQ(bar.horizontalLabel()->text(), "H Smp/Div");
    EXPECT_EQ(bar.horizontal()->text(), "2000");
    // The whole side fits before the top of the table: the scale stops there.
    for (int i = 0; i < 25; ++i) QTest::keyClick(&wave, Qt::Key_4, Qt::KeypadModifier);
    EXPECT_EQ(wave.scaleIndex(), wave.maxScaleIndex());
    EXPECT_LT(wave.maxScaleIndex(), 20);
    // The bar's spin box sets the scale too.
    bar.horizontal()->setValue(7);
    EXPECT_EQ(wave.samplesPerDiv(), 500);

    // Numeric 8 and 2: vertical scale finer and coarser, within 20..1000.
    QTest::keyClick(&wave, Qt::Key_8, Qt::KeypadModifier);
    EXPECT_EQ(wave.verticalScale(), 200);
    EXPECT_EQ(bar.vertical()->text(), "200");
    for (int i = 0; i < 4; ++i) QTest::keyClick(&wave, Qt::Key_2, Qt::KeypadModifier);
    EXPECT_EQ(wave.verticalScale(), 1000);

    // The wheel scrolls the traces; the level at the middle stays when the scale changes.
    const int middle = wave.height() / 2;
    auto levelAtMiddle = [&] {
        const double mid = (wave.baselineY(true) + wave.baselineY(false)) / 2.0;
        return (mid - middle) * wave.verticalScale() / 1.6;
    };
    EXPECT_NEAR(levelAtMiddle(), 0, wave.verticalScale() / 1.6);
    QWheelEvent up(QPointF(50, 50), wave.mapToGlobal(QPointF(50, 50)), {}, {0, 240}, Qt::NoButton,
                   {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&wave, &up);
    EXPECT_GT(wave.centreLevel(), 0);
    const double level = levelAtMiddle();
    EXPECT_NEAR(level, wave.centreLevel(), wave.verticalScale() / 1.6);
    QTest::keyClick(&wave, Qt::Key_8, Qt::KeypadModifier);
    EXPECT_NEAR(levelAtMiddle(), wave.centreLevel(), wave.verticalScale() / 1.6);
    QTest::keyClick(&wave, Qt::Key_2, Qt::KeypadModifier);
    wave.setCentreLevel(0);

    // A track boundary uses the coarse table at its own remembered step, and back again.
    window.action("tracks.nextMarker")->trigger();
    ASSERT_TRUE(wave.coarse());
    EXPECT_EQ(wave.samplesPerDiv(), 44100);
    EXPECT_EQ(bar.horizontalLabel()->text(), "H Sec/Div");
    QTest::keyClick(&wave, Qt::Key_6, Qt::KeypadModifier);
    EXPECT_EQ(wave.samplesPerDiv(), 22050);
    window.action("cor.findPrevious")->trigger();
    ASSERT_TRUE(wave.currentIsCorrection());
    EXPECT_EQ(wave.samplesPerDiv(), 500) << "the fine step as it was left";
    window.action("tracks.nextMarker")->trigger();
    EXPECT_EQ(wave.samplesPerDiv(), 22050) << "the coarse step as it was left";
    window.action("cor.findPrevious")->trigger();

    // Adjusting at 1000 samples per division or more asks to expand; Yes sets 100.
    bar.horizontal()->setValue(9);
    boxes.answers = {"No"};
    wave.adjustInsert();
    EXPECT_FALSE(wave.adjusting());
    EXPECT_EQ(wave.samplesPerDiv(), 2000);
    boxes.answers = {"Yes"};
    wave.adjustInsert();
    EXPECT_TRUE(boxes.texts.last().startsWith("To Adjust/Insert a correction"));
    EXPECT_TRUE(wave.adjusting());
    EXPECT_EQ(wave.samplesPerDiv(), 100);
    ASSERT_TRUE(activate());
    wave.setFocus();
    // Escape aborts: the correction is back as it was.
    const Correction before = window.document().corrections[window.document().currentEntry];
    QTest::keyClick(&wave, Qt::Key_Up);
    QTest::keyClick(&wave, Qt::Key_Right);
    EXPECT_NE(window.document().corrections[window.document().currentEntry], before);
    QTest::keyClick(&wave, Qt::Key_Escape);
    EXPECT_FALSE(wave.adjusting());
    EXPECT_EQ(window.document().corrections[window.document().currentEntry], before);

    // Numeric 7 and 9 move the speed slider; its label turns red away from X 1.
    QTest::keyClick(&wave, Qt::Key_7, Qt::KeypadModifier);
    QTest::keyClick(&wave, Qt::Key_7, Qt::KeypadModifier);
    EXPECT_EQ(bar.speed()->value(), 3);
    EXPECT_EQ(bar.speedLabel()->text(), "Playback Speed\nX 1/4");
    EXPECT_TRUE(bar.speedLabel()->styleSheet().contains("red"));
    EXPECT_EQ(wave.playback().speedPosition(), 3);
    QTest::keyClick(&wave, Qt::Key_9, Qt::KeypadModifier);
    QTest::keyClick(&wave, Qt::Key_9, Qt::KeypadModifier);
    EXPECT_EQ(bar.speedLabel()->text(), "Playback Speed\nX 1");
    // The boundary tool: dragging the fade handle of a track's end into the track sets its
    // fade-out on Apply; the boundary stays.
    window.action("tracks.nextMarker")->trigger();
    CMorvath3Doc& doc = window.document();
    ASSERT_TRUE(wave.currentIsMarker());
    const Correction marker = doc.corrections[doc.currentEntry];
    ASSERT_FALSE(isStartMarker(marker));
    const int t = markerTrack(marker);
    const int32_t end = doc.tracks[t].end;
    const QPoint handle = wave.toolHandlePoint(true);
    QTest::mousePress(&wave, Qt::LeftButton, {}, handle);
    ASSERT_TRUE(wave.adjusting());
    QTest::mouseMove(&wave, handle - QPoint(60, 0));
    QTest::mouseRelease(&wave, Qt::LeftButton, {}, handle - QPoint(60, 0));
    const int32_t fadeAt = wave.fadeHandle();
    EXPECT_EQ(fadeAt, marker.position -
                          (marker.position - wave.mapping().positionAt(handle.x() - 60)) / 4 * 4);
    wave.applyAdjust();
    EXPECT_EQ(doc.tracks[t].end, end);
    EXPECT_EQ(doc.tracks[t].fadeOut,
              doc.splices.sourceToDisplay(marker.position) - doc.splices.sourceToDisplay(fadeAt));
    EXPECT_GT(doc.tracks[t].fadeOut, 0);
    window.document().modified = false;
}

} // namespace
} // namespace tarnival
