// Playback from the window, heard through a private sound server's null sink.
#include "app/MainWindow.h"
#include "app/QtUserInterface.h"
#include "app/TarnivalBar.h"
#include "audio/SoundServer.h"
#include "document/Settings.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "views/ChildFrame.h"
#include "views/ClickView.h"
#include "views/OverviewView.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <thread>

namespace tarnival {
namespace {

using namespace std::chrono_literals;

TEST(Playback, AuditionAndTrackPlayAreHeardAndFollowed) {
    if (std::string problem = test::soundServerProblem(); !problem.empty()) GTEST_SKIP() << problem;
    test::TempDir dir;
    writeDemoSide(dir.file("side.wav"), 2, 8.0, 2.5, 5);
    test::BoxAnswerer boxes;
    auto profile = test::testProfile();
    profile->setInt("Settings", "OutputDevice", test::nullOutputDevice());
    MainWindow window(std::move(profile));
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(window.openFile(QString::fromStdString(dir.file("side.wav"))));
    CMorvath3Doc& doc = window.document();
    ClickView& wave = window.wave();
    window.action("cor.findNext")->trigger();
    ASSERT_TRUE(wave.currentIsCorrection());
    // A wide window: the audition plays what it shows.
    wave.setScaleIndex(10);
    const int32_t from = wave.visibleStart(), to = wave.visibleEnd();
    ASSERT_GT(to - from, 4 * 44100) << "more than a second is shown";

    test::MonitorCapture capture(dir.file("heard.raw"));
    ASSERT_TRUE(capture.waitUntilFlowing());
    ASSERT_TRUE(window.action("cor.auditionCorrected")->isEnabled());
    window.action("cor.auditionCorrected")->trigger();
    ASSERT_TRUE(test::runEventsUntil([&] { return wave.playing(); }, 5s));
    // The toggle covers the state pane; the commands follow the play.
    auto* toggle = window.statusBar()->findChild<QPushButton*>();
    ASSERT_NE(toggle, nullptr);
    EXPECT_TRUE(toggle->isVisible());
    EXPECT_EQ(toggle->text(), "Playing... Corrected");
    EXPECT_TRUE(window.action("play.cancel")->isEnabled());
    EXPECT_FALSE(window.action("cor.remove")->isEnabled()) << "no editing while playing";
    // The marker moves: the bar's time and the overview follow the play position.
    QStringList times;
    ASSERT_TRUE(test::runEventsUntil(
        [&] {
            const QString t = window.controlBar().cursor()->text();
            if (times.isEmpty() || times.last() != t) times << t;
            return times.size() >= 4;
        },
        5s));
    EXPECT_GE(wave.playPosition(), from);
    ASSERT_TRUE(test::runEventsUntil([&] { return !wave.playing(); }, 10s))
        << "an audition ends by itself";
    EXPECT_FALSE(toggle->isVisible());
    EXPECT_EQ(wave.playPosition(), -1);
    std::this_thread::sleep_for(200ms);
    const test::Stereo heard = capture.finish();

    // What was heard is the corrected audio of the window.
    test::Stereo meant(size_t(to - from) / 2);
    doc.store.readWorking(from, meant.data(), size_t(to - from));
    double corr = 0;
    const int at = test::bestLag(heard, test::slice(meant, 0, 44100), corr);
    ASSERT_GE(at, 0);
    EXPECT_GT(corr, 0.99);

    // Play Track: Space plays, Space again pauses and resumes, Escape stops.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    wave.setFocus();
    QTest::keyClick(&wave, Qt::Key_Space);
    ASSERT_TRUE(test::runEventsUntil([&] { return wave.playing(); }, 5s));
    ASSERT_TRUE(test::runEventsUntil([&] { return toggle->isVisible(); }, 5s));
    // The toggle switches to the original and goes on playing.
    QTest::mouseClick(toggle, Qt::LeftButton);
    ASSERT_TRUE(
        test::runEventsUntil([&] { return !wave.playback().isCorrected() && wave.playing(); }, 5s));
    EXPECT_EQ(toggle->text(), "Playing... Original");
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&wave, Qt::Key_Space);
    EXPECT_TRUE(wave.playback().isPaused());
    EXPECT_TRUE(window.action("play.pause")->isChecked());
    QTest::keyClick(&wave, Qt::Key_Space);
    EXPECT_FALSE(wave.playback().isPaused());
    QTest::keyClick(&wave, Qt::Key_Escape);
    ASSERT_TRUE(test::runEventsUntil([&] { return !wave.playing(); }, 10s));
    EXPECT_TRUE(boxes.texts.isEmpty() || !boxes.texts.last().contains("rror"));
    doc.modified = false;
}

} // namespace
} // namespace tarnival
