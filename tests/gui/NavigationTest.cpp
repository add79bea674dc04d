#include "app/MainWindow.h"
#include "document/Settings.h"
#include "facade/Document.h"
#include "gui/GuiSupport.h"
#include "support/Signals.h"
#include "support/TempDir.h"
#include "views/ChildFrame.h"
#include "views/ClickList.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"
#include "views/OverviewView.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QTest>

namespace tarnival {
namespace {

TEST(Navigation, OverviewAndListMoveTheWaveformAndSelectBlocks) {
    test::TempDir dir;
    // Music with a click every second: gaps wide enough to click between them in the overview.
    test::Stereo audio = test::music(44100 * 20, 44100, 3, 5000);
    for (int c = 1; c < 20; ++c) test::addClick(audio, {c * 44100, 4, 12000});
    test::writeWav(dir.file("side.wav"), audio);
    test::BoxAnswerer boxes;
    auto owned = test::testProfile();
    Profile& profile = *owned;
    auto window = std::make_unique<MainWindow>(std::move(owned));
    window->resize(1000, 700);
    window->show();
    ASSERT_TRUE(window->openFile(QString::fromStdString(dir.file("side.wav"))));
    CMorvath3Doc& doc = window->document();
    ClickView& wave = window->wave();
    OverviewView& overview = window->frame().overview();
    QListWidget* list = window->frame().list().list();

    // A click in the overview away from any correction moves the position there; one next to a
    // correction makes it current.
    // One track across the strip: pixels narrow enough to find gaps between the crackle.
    overview.setAllTracks(false);
    const double B = overview.bytesPerPixel();
    int quiet = -1;
    for (int x = 20; x < overview.width() - 20 && quiet < 0; ++x) {
        const int32_t p = overview.positionAt(x);
        const int near = view::nearestEntry(doc.corrections, p);
        if (std::abs(doc.corrections[near].position - p) > 12 * B) quiet = x;
    }
    ASSERT_GE(quiet, 0);
    QTest::mouseClick(&overview, Qt::LeftButton, {}, QPoint(quiet, 60));
    EXPECT_EQ(wave.position(), overview.positionAt(quiet));
    int target = 0;
    for (int i = 1; i < doc.corrections.count() - 1 && !target; ++i)
        if (doc.corrections[i].magnitude >= 30 && doc.corrections[i].width >= 0) target = i;
    ASSERT_GT(target, 0);
    const int tx = int(overview.xOf(doc.corrections[target].position));
    QTest::mouseClick(&overview, Qt::LeftButton, {}, QPoint(tx + 1, 60));
    const Correction& now = doc.corrections[doc.currentEntry];
    EXPECT_LT(std::abs(now.position - overview.positionAt(tx + 1)), 10 * B);
    EXPECT_GE(now.width, 0);
    EXPECT_EQ(wave.position(), now.position);

    // A drag in the overview selects a block; the list shows its two rows.
    QTest::mousePress(&overview, Qt::LeftButton, {}, QPoint(100, 60));
    QTest::mouseMove(&overview, QPoint(160, 60));
    QTest::mouseRelease(&overview, Qt::LeftButton, {}, QPoint(160, 60));
    ASSERT_TRUE(wave.hasBlock());
    EXPECT_EQ(wave.blockStart(), overview.positionAt(100));
    EXPECT_EQ(wave.blockEnd(), overview.positionAt(160));
    EXPECT_EQ(list->findItems("      Block Start", Qt::MatchExactly).size(), 1);
    EXPECT_EQ(list->findItems("      Block End", Qt::MatchExactly).size(), 1);
    EXPECT_FALSE(window->action("cor.adjust")->isEnabled()) << "no editing with a block";
    window->action("block.cancel")->trigger();
    EXPECT_FALSE(wave.hasBlock());
    EXPECT_TRUE(list->findItems("      Block Start", Qt::MatchExactly).isEmpty());

    // A click on a row makes its entry current; Shift+click selects a block up to that row.
    ASSERT_GE(list->count(), 16);
    const int row = 10;
    QRect r = list->visualItemRect(list->item(row));
    list->scrollToItem(list->item(row));
    r = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    const int picked = doc.currentEntry;
    EXPECT_EQ(view::rowKey(doc.corrections[picked]),
              list->item(row)->data(Qt::UserRole).toLongLong());
    EXPECT_EQ(wave.position(), doc.corrections[picked].position);
    const int32_t from = doc.corrections[picked].position;
    const int32_t to = list->item(row + 5)->data(Qt::UserRole).toLongLong() & ~1LL;
    r = list->visualItemRect(list->item(row + 5));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ShiftModifier, r.center());
    ASSERT_TRUE(wave.hasBlock());
    EXPECT_EQ(wave.blockStart(), from - 4);
    EXPECT_EQ(wave.blockEnd(), to + 4);

    // The window's place is kept for the next start.
    window->action("block.cancel")->trigger();
    window->move(40, 30);
    window->resize(900, 640);
    const QRect placed = window->geometry();
    doc.modified = false;
    window->close();
    // The window owns the settings: read them before it goes.
    EXPECT_EQ(get(profile, settings::kPlacementFlags), 0);
    EXPECT_EQ(get(profile, settings::kPlacementRight) - get(profile, settings::kPlacementLeft),
              placed.width());
    EXPECT_EQ(get(profile, settings::kPlacementBottom) - get(profile, settings::kPlacementTop),
              placed.height());
    window.reset();
}

} // namespace
} // namespace tarnival
