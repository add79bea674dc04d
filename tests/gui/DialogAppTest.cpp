#include "dialogs/Dialogs.h"
#include "dialogs/PathsDialog.h"
#include "dialogs/RescanTracksDialog.h"
#include "dialogs/TipDialog.h"
#include "document/TempFiles.h"
#include "gui/DialogFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <fstream>

namespace tarnival {
namespace {

TEST(PathsDialog, ModesShowTheirFolderAndStoreOnOk) {
    MemoryProfile profile;
    PathsDialog d(nullptr, profile);
    d.show();
    EXPECT_TRUE(d.tempButton(ids::kTempSystem)->isChecked());
    EXPECT_EQ(d.tempEdit()->text().toStdString(), systemTempFolder());
    EXPECT_FALSE(d.tempEdit()->isEnabled());
    EXPECT_TRUE(d.outputSameButton()->isChecked());
    EXPECT_FALSE(d.outputBrowse()->isEnabled());
    test::press(d.tempButton(ids::kTempSameFolder));
    EXPECT_EQ(d.tempEdit()->text(), QDir::currentPath());
    // A user-defined folder must be given before OK.
    test::press(d.tempButton(ids::kTempUser));
    EXPECT_TRUE(d.tempEdit()->isEnabled());
    EXPECT_TRUE(d.tempBrowse()->isEnabled());
    EXPECT_FALSE(d.okButton()->isEnabled());
    QTest::keyClicks(d.tempEdit(), "/srv/scratch");
    EXPECT_TRUE(d.okButton()->isEnabled());
    test::press(d.outputUserButton());
    EXPECT_FALSE(d.okButton()->isEnabled());
    QTest::keyClicks(d.outputEdit(), "/srv/music");
    EXPECT_TRUE(d.okButton()->isEnabled());
    d.accept();
    EXPECT_EQ(get(profile, settings::kTempMode), ids::kTempUser);
    EXPECT_EQ(get(profile, settings::kTempPath), "/srv/scratch");
    EXPECT_EQ(get(profile, settings::kOutputPath), "/srv/music");

    // Back to the input's folder for output: the path is emptied; the temp path stays stored.
    PathsDialog again(nullptr, profile);
    again.show();
    EXPECT_TRUE(again.outputUserButton()->isChecked());
    EXPECT_EQ(again.tempEdit()->text(), "/srv/scratch");
    test::press(again.tempButton(ids::kTempSystem));
    test::press(again.outputSameButton());
    again.accept();
    EXPECT_EQ(get(profile, settings::kTempMode), ids::kTempSystem);
    EXPECT_EQ(get(profile, settings::kTempPath), "/srv/scratch");
    EXPECT_EQ(get(profile, settings::kOutputPath), "");
}

TEST(TipDialog, ReadsTipsInTurnAndRemembersWhere) {
    test::TempDir dir;
    MemoryProfile profile;
    test::ScriptedUi ui;
    const QString tips = QString::fromStdString(dir.file("tips.txt"));
    std::ofstream(dir.file("tips.txt")) << "# Tips for the test\nFirst tip\n\n  Second tip  \n";
    {
        TipDialog d(nullptr, profile, ui, tips);
        EXPECT_EQ(d.tipLabel()->text(), "First tip");
        EXPECT_TRUE(d.startUpBox()->isChecked());
        d.nextTip();
        EXPECT_EQ(d.tipLabel()->text(), "Second tip");
        d.nextTip();
        EXPECT_EQ(d.tipLabel()->text(), "First tip") << "after the last tip, the first again";
        d.accept();
    }
    {
        TipDialog d(nullptr, profile, ui, tips);
        EXPECT_EQ(d.tipLabel()->text(), "Second tip") << "the next opening goes on";
        d.startUpBox()->setChecked(false);
        d.accept();
    }
    EXPECT_FALSE(tipsAtStartUp(profile));
    // A replaced file starts again at its first tip.
    std::filesystem::last_write_time(dir.file("tips.txt"),
                                     std::filesystem::file_time_type::clock::now() +
                                         std::chrono::hours(1));
    {
        TipDialog d(nullptr, profile, ui, tips);
        EXPECT_EQ(d.tipLabel()->text(), "First tip");
        EXPECT_FALSE(d.startUpBox()->isChecked());
    }
    TipDialog missing(nullptr, profile, ui, QString::fromStdString(dir.file("none.txt")));
    EXPECT_EQ(missing.tipLabel()->text(), "Tips file does not exist in the prescribed directory");
    EXPECT_TRUE(ui.messages.empty());
}

TEST(TipDialog, AShippedTipsFileHasTips) {
    // The tips file beside the program is built from the repository's copy.
    const QString shipped = QCoreApplication::applicationDirPath() + "/tips.txt";
    ASSERT_TRUE(QFile::exists(shipped)) << shipped.toStdString();
    MemoryProfile profile;
    test::ScriptedUi ui;
    TipDialog d(nullptr, profile, ui, shipped);
    QString first = d.tipLabel()->text();
    EXPECT_GT(first.size(), 20);
    d.nextTip();
    EXPECT_NE(d.tipLabel()->text(), first);
}

TEST(RescanTracksDialog, RemovesAndFindsTracksAgain) {
    test::LoadedSide s;
    ASSERT_EQ(s.doc->tracks.trackCount(), 3);
    test::onNextModal<RescanTracksDialog>([](RescanTracksDialog* d) {
        EXPECT_FALSE(d->countCombo()->isEnabled());
        test::press(d->modeButton(RescanMode::UserAssisted));
        EXPECT_TRUE(d->countCombo()->isEnabled());
        EXPECT_EQ(d->countCombo()->count(), 29);
        EXPECT_EQ(d->countCombo()->itemText(0), "2");
        test::press(d->modeButton(RescanMode::RemoveAll));
        test::press(d->gaplessBox());
        d->accept();
    });
    ASSERT_TRUE(showRescanTracksDialog(nullptr, *s.doc));
    EXPECT_EQ(s.doc->tracks.trackCount(), 1);
    EXPECT_TRUE(s.doc->tracks.gapless);
    EXPECT_EQ(get(s.profile, settings::kGapless), 1);
    EXPECT_TRUE(s.doc->tracks.rescanned);

    test::onNextModal<RescanTracksDialog>([](RescanTracksDialog* d) {
        EXPECT_TRUE(d->gaplessBox()->isChecked());
        test::press(d->gaplessBox());
        d->accept();
    });
    ASSERT_TRUE(showRescanTracksDialog(nullptr, *s.doc));
    EXPECT_EQ(s.doc->tracks.trackCount(), 3);
    EXPECT_FALSE(s.doc->tracks.gapless);

    // Cancel changes nothing.
    test::onNextModal<RescanTracksDialog>([](RescanTracksDialog* d) {
        test::press(d->modeButton(RescanMode::RemoveAll));
        d->reject();
    });
    EXPECT_FALSE(showRescanTracksDialog(nullptr, *s.doc));
    EXPECT_EQ(s.doc->tracks.trackCount(), 3);
}

} // namespace
} // namespace tarnival
