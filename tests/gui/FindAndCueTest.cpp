#include "app/MainWindow.h"
#include "document/Settings.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"
#include "views/ChildFrame.h"
#include "views/ClickList.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"
#include "views/FindDialog.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace tarnival {
namespace {

TEST(FindAndCue, TimedJumpsPresetsListFilterAndCues) {
    test::TempDir dir;
    writeDemoSide(dir.file("side.wav"), 2, 8.0, 2.5, 3);
    test::BoxAnswerer boxes;
    MainWindow window(test::testProfile());
    window.resize(1000, 700);
    window.show();
    ASSERT_TRUE(window.openFile(QString::fromStdString(dir.file("side.wav"))));
    CMorvath3Doc& doc = window.document();
    ClickView& wave = window.wave();
    Profile& profile = window.profile();

    // The dialog: presets choose the timed jump with one turn of the record; a custom limit
    // above 30 is brought down to 30; the choice is stored.
    {
        FindDialog dialog(profile, 30);
        QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton); // not a preset
        for (auto* b : dialog.findChildren<QPushButton*>())
            if (b->text() == "45") b->click();
        EXPECT_EQ(dialog.buttons()->checkedId(), view::kFindByTime);
        EXPECT_EQ(dialog.timeEdit()->text(), "1.333");
        EXPECT_TRUE(dialog.timeEdit()->isEnabled());
        EXPECT_FALSE(dialog.customEdit()->isEnabled());
        for (auto* b : dialog.findChildren<QPushButton*>())
            if (b->text() == "Find Next") b->click();
        EXPECT_EQ(dialog.criterion(), view::kFindByTime);
        EXPECT_TRUE(dialog.forward());
        EXPECT_EQ(get(profile, settings::kFindTime), 1333);
    }
    {
        FindDialog dialog(profile, 30);
        dialog.buttons()->button(1000)->click();
        dialog.customEdit()->setText("45");
        for (auto* b : dialog.findChildren<QPushButton*>())
            if (b->text() == "Find Previous") b->click();
        EXPECT_EQ(dialog.criterion(), 30);
        EXPECT_FALSE(dialog.forward());
        EXPECT_EQ(get(profile, settings::kFindMag), 30);
    }

    // A timed jump moves by FindTime x rate / 250 bytes, from the current position.
    window.action("cor.findNext")->trigger();
    const int32_t start = wave.position();
    wave.setFindCriterion(view::kFindByTime);
    window.action("cor.findNext")->trigger();
    EXPECT_EQ(wave.position(), start + 1333 * 44100 / 250 / 4 * 4);
    window.action("cor.findPrevious")->trigger();
    EXPECT_EQ(wave.position(), start);

    // The list filter: 30+ lists corrections of 30 and more, and every marker.
    set(profile, settings::kListSel, 1163);
    window.frame().listRefilled();
    int expected = 0;
    for (int i = 1; i < doc.corrections.count() - 1; ++i) {
        const Correction& c = doc.corrections[i];
        if (c.width < 0 || c.magnitude >= 30 || c.magnitude < 0) ++expected;
    }
    EXPECT_EQ(window.frame().list().list()->count(), expected);
    set(profile, settings::kListSel, 1149);
    window.frame().listRefilled();
    EXPECT_EQ(window.frame().list().list()->count(), doc.corrections.count() - 2);

    // A cue goes in at the position; a second request at the same place is ignored; removing
    // it asks first.
    const int before = doc.corrections.count();
    wave.setPosition(start + 40000);
    window.action("cor.insertCue")->trigger();
    ASSERT_EQ(doc.corrections.count(), before + 1);
    const int cue = doc.currentEntry;
    EXPECT_EQ(doc.corrections[cue].magnitude, magnitude_codes::kCue);
    EXPECT_EQ(doc.corrections[cue].position, start + 40000 - 4);
    EXPECT_EQ(wave.cues().size(), 1u);
    window.action("cor.insertCue")->trigger();
    EXPECT_EQ(doc.corrections.count(), before + 1) << "one cue per quarter second";
    EXPECT_TRUE(window.action("tracks.cuesToTracks")->isEnabled());
    boxes.answers = {"OK"};
    window.action("cor.remove")->trigger();
    EXPECT_TRUE(boxes.texts.last().startsWith("The Cue Marker will be removed."));
    EXPECT_EQ(doc.corrections.count(), before);
    EXPECT_TRUE(wave.cues().empty());
    for (int i = 1; i < doc.corrections.count() - 1; ++i)
        EXPECT_NE(doc.corrections[i].magnitude, magnitude_codes::kCue);
    doc.modified = false;
}

} // namespace
} // namespace tarnival
