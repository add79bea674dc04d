#include "app/QtUserInterface.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/StatusDialog.h"
#include "gui/DialogFixture.h"

#include <gtest/gtest.h>

#include <QMainWindow>
#include <QPushButton>
#include <QTest>

namespace tarnival {
namespace {

TEST(ProgressWindow, TasksPercentLinesAndCancelReachTheEngine) {
    QMainWindow window;
    window.show();
    QtUserInterface ui(&window);
    {
        ProgressScope scope(ui, {"Scan for Tracks and Clicks", "Generate Corrections"});
        ProgressWindow* progress = ui.progressWindow();
        ASSERT_NE(progress, nullptr);
        EXPECT_TRUE(progress->isVisible());
        EXPECT_FALSE(window.isEnabled()) << "the main window waits while the work runs";
        EXPECT_EQ(progress->percentText(), " 0 %");

        ui.setProgressTitle("Applying Filters");
        EXPECT_EQ(progress->windowTitle(), "Applying Filters");
        struct Case {
            int64_t low, high, position;
            const char* shown;
        };
        for (const Case& c : {Case{0, 1000, 0, "0%"}, Case{0, 1000, 999, "99%"},
                              Case{0, 1000, 1000, "100%"}, Case{100, 300, 200, "50%"}}) {
            ui.setProgressRange(c.low, c.high);
            ui.setProgressPosition(c.position);
            EXPECT_EQ(progress->percentText(), c.shown) << c.position;
        }
        ui.setCurrentTask(1);
        ui.setTaskText(2, "Operation Cancelled");
        ui.markTask(2);
        EXPECT_EQ(progress->taskList()->current(), 1);
        EXPECT_EQ(progress->taskList()->marked(), 2);
        ASSERT_EQ(progress->taskList()->tasks().size(), 3u);
        EXPECT_EQ(progress->taskList()->tasks()[2], "Operation Cancelled");
        ui.setProgressText(1, "Tracks Found = 4");
        EXPECT_EQ(progress->lineText(1), "Tracks Found = 4");

        // Cancel is seen once by the pump, then cleared.
        EXPECT_FALSE(ui.pumpAndTakeCancel());
        QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
        EXPECT_TRUE(ui.pumpAndTakeCancel());
        EXPECT_FALSE(ui.pumpAndTakeCancel());
        // Escape asks to cancel rather than closing the window under the running work.
        QTest::keyClick(progress, Qt::Key_Escape);
        EXPECT_TRUE(progress->isVisible());
        EXPECT_TRUE(ui.pumpAndTakeCancel());
        // Commands that cannot be stopped disable Cancel.
        ui.setCancelEnabled(false);
        QTest::mouseClick(progress->cancelButton(), Qt::LeftButton);
        QTest::keyClick(progress, Qt::Key_Escape);
        EXPECT_FALSE(ui.pumpAndTakeCancel());
    }
    EXPECT_EQ(ui.progressWindow(), nullptr);
    EXPECT_TRUE(window.isEnabled());
}

TEST(ProgressWindow, ShownWhileASideLoadsAndGoneAfterwards) {
    test::TempDir dir;
    MemoryProfile profile;
    set(profile, settings::kSensitivity, 3);
    set(profile, settings::kTempMode, ids::kTempSameFolder);
    writeDemoSide(dir.file("side.wav"), 2, 12.0, 2.5);
    QMainWindow window;
    window.show();
    QtUserInterface ui(&window);
    CMorvath3Doc doc(profile, ui);
    // What the window showed at the last pump of the load.
    std::vector<std::string> tasks;
    QString percent;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (ProgressWindow* p = ui.progressWindow()) {
            tasks = p->taskList()->tasks();
            percent = p->percentText();
        }
    });
    watch.start(0);
    ASSERT_TRUE(doc.OpenWave(dir.file("side.wav")));
    ASSERT_TRUE(doc.ProcessFile());
    watch.stop();
    EXPECT_EQ(tasks,
              (std::vector<std::string>{"Scan for Tracks and Clicks", "Generate Corrections"}));
    EXPECT_TRUE(percent.endsWith('%')) << percent.toStdString();
    EXPECT_EQ(ui.progressWindow(), nullptr);
    EXPECT_TRUE(window.isEnabled());

    // The status report of the loaded side.
    StatusDialog status(nullptr, doc);
    EXPECT_TRUE(status.text().startsWith("Tracks Found: 2\n\nClicks Corrected: "))
        << status.text().toStdString();
    EXPECT_TRUE(status.text().contains("Sample Rate: 44.1 kS/sec"));
}

} // namespace
} // namespace tarnival
