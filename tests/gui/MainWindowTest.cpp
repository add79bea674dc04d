#include "app/MainWindow.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tarnival {
namespace {

QStringList paneTexts(QMainWindow& w) {
    QStringList texts;
    for (QLabel* label : w.statusBar()->findChildren<QLabel*>()) texts << label->text();
    return texts;
}

TEST(MainWindow, OpeningASideRepairsItAndShowsTheState) {
    test::TempDir dir;
    // Private settings, and the working file beside the input.
    setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    std::filesystem::create_directories(dir.file("config/Kelvarin"));
    std::ofstream(dir.file("config/Kelvarin/Tarnival.ini"))
        << "[Settings]\nSensitivity=3\nTemp%20Mode=1136\n";

    test::Stereo audio = test::music(44100 * 8, 44100, 3, 5000);
    test::mix(audio, test::hiss(44100 * 8, 20));
    for (int c = 0; c < 6; ++c) test::addClick(audio, {44100 + c * 40000, 4, 12000});
    std::string input = dir.file("side1.wav");
    test::writeWav(input, audio);

    // Message boxes are read and closed as they appear.
    QStringList shown;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown << box->text();
            box->close();
        }
    });
    closer.start(20);

    MainWindow window;
    EXPECT_TRUE(paneTexts(window).contains("Wave Not Loaded"));
    ASSERT_TRUE(window.openFile(QString::fromStdString(input)));
    EXPECT_TRUE(window.windowTitle().startsWith(QString::fromStdString(input)));
    QStringList panes = paneTexts(window);
    EXPECT_TRUE(panes.contains("Ready to Save")) << panes.join("|").toStdString();
    EXPECT_TRUE(std::filesystem::exists(dir.file("side1~.wav")));
    EXPECT_TRUE(window.isEnabled()) << "the window is enabled again after the progress display";
    // One continuous piece: track detection finds no pause and says so.
    EXPECT_EQ(shown, QStringList{"No tracks were found"});
    shown.clear();

    // A file that is not audio is refused with a message box; the open side stays as it was.
    test::writeFile(dir.file("notes.wav"), std::vector<uint8_t>(64, 'x'));
    EXPECT_FALSE(window.openFile(QString::fromStdString(dir.file("notes.wav"))));
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Incorrect Wave File Format")) << shown[0].toStdString();
    EXPECT_TRUE(paneTexts(window).contains("Ready to Save"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("side1~.wav")));
}

} // namespace
} // namespace tarnival

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
