#include "app/QtUserInterface.h"
#include "gui/DialogFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QFileDialog>
#include <QMainWindow>

// Qt's file dialog reads Qt's own settings, and the first settings read fixes where every later
// one is looked for in this process. This file sorts after the main window's test, which points
// the settings at a folder of its own, so that a single-process run keeps that working.
namespace tarnival {
namespace {

TEST(QtUserInterface, LocatesAMovedFileWithAFileDialog) {
    test::TempDir dir;
    test::writeFile(dir.file("side.wav"), {1});
    QMainWindow window;
    QtUserInterface ui(&window);
    test::onNextModal<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Where is it?");
        d->selectFile(QString::fromStdString(dir.file("side.wav")));
        static_cast<QDialog*>(d)->accept();
    });
    std::optional<std::string> chosen =
        ui.locateFile("Where is it?", "Wave Files (*.wav)", dir.file("side.wav"));
    ASSERT_TRUE(chosen);
    EXPECT_EQ(*chosen, dir.file("side.wav"));
    test::onNextModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(ui.locateFile("Where is it?", "Wave Files (*.wav)", "side.wav"));
}

} // namespace
} // namespace tarnival
