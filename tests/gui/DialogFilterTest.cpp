#include "dialogs/Dialogs.h"
#include "dialogs/FilterTestWindow.h"
#include "dialogs/FiltersDialog.h"
#include "dialogs/GraphDlg.h"
#include "dialogs/LevelDialogs.h"
#include "dsp/FilterChain.h"
#include "dsp/GraphicCurve.h"
#include "dsp/Levels.h"
#include "dsp/NoiseProfile.h"
#include "gui/DialogFixture.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <cmath>
#include <cstring>

namespace tarnival {
namespace {

std::vector<uint8_t> workingBytes(CMorvath3Doc& doc) {
    return test::readFile(doc.workingPath());
}

TEST(FiltersDialog, AppliesWhatTheEngineAppliesForTheSameChoices) {
    test::LoadedSide s;
    test::LoadedSide same; // the same side, filtered through the engine alone
    const std::vector<uint8_t> unfiltered = workingBytes(*s.doc);
    test::onNextModal<FiltersDialog>([](FiltersDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Apply Filter(s)");
        EXPECT_EQ(d->summaryLabel()->text(), "Currently Applied Filters:\nNone");
        EXPECT_FALSE(d->trebleSlider()->isEnabled());
        EXPECT_FALSE(d->graphicList()->isEnabled());
        test::press(d->rumbleBox());
        test::press(d->trebleBox());
        EXPECT_TRUE(d->trebleSlider()->isEnabled());
        d->trebleSlider()->setValue(-2);
        EXPECT_EQ(d->trebleLabel()->text(), "Treble Control: -8dB");
        test::press(d->hissBox());
        d->hissSlider()->setValue(2);
        EXPECT_EQ(d->hissLabel()->text(), "Hiss Reduction: 14dB");
        test::press(d->confirmButton());
    });
    ASSERT_TRUE(showFiltersDialog(nullptr, *s.doc));
    const AppliedFilters& a = s.doc->filters.applied;
    EXPECT_TRUE(a.Filtered);
    EXPECT_TRUE(a.AppliedRumble);
    EXPECT_EQ(a.AppliedHiss, 2);
    EXPECT_EQ(a.AppliedTreble, -2);
    EXPECT_EQ(get(s.profile, settings::kSubtractor), 2);
    EXPECT_NE(workingBytes(*s.doc), unfiltered);

    FilterContext ctx = same.doc->filterContext();
    EnsureProfileBlock(ctx);
    FilterSettings& f = same.doc->filters.settings;
    f.RumbleOn = f.HissOn = f.TrebleOn = true;
    f.HissLevel = 2;
    f.TrebleLevel = -2;
    FilterContext run = same.doc->filterContext();
    ApplyFilters(run);
    EXPECT_EQ(workingBytes(*s.doc), workingBytes(*same.doc));

    // The next opening shows what was applied; Remove Filtering brings the corrected audio back.
    test::onNextModal<FiltersDialog>([](FiltersDialog* d) {
        EXPECT_EQ(d->summaryLabel()->text(), "Currently Applied Filters:\nRumble, Hiss, Treble.");
        EXPECT_TRUE(d->rumbleBox()->isChecked());
        d->reject();
    });
    EXPECT_FALSE(showFiltersDialog(nullptr, *s.doc));
    s.ui.answers = {Answer::Ok};
    FilterContext remove = s.doc->filterContext();
    ASSERT_TRUE(RemoveFilteringCommand(remove));
    EXPECT_EQ(workingBytes(*s.doc), unfiltered);
}

TEST(FiltersDialog, ConfigureFormEditsOnlyTheSettings) {
    MemoryProfile profile;
    test::ScriptedUi ui;
    ASSERT_TRUE(SaveCurve(profile, ui, "Warm", FlatCurve(), 44100, false));
    FilterSettings settings;
    test::onNextModal<FiltersDialog>([](FiltersDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Configure Filters");
        EXPECT_EQ(d->confirmButton()->text(), "OK");
        EXPECT_TRUE(d->testButton()->isHidden());
        EXPECT_TRUE(d->summaryLabel()->isHidden());
        EXPECT_FALSE(d->replaceButton()->isVisible());
        test::press(d->graphicBox());
        EXPECT_EQ(d->graphicList()->currentText(), "Warm");
        test::press(d->humBox());
        d->accept();
    });
    ASSERT_TRUE(showConfigureFiltersDialog(nullptr, profile, ui, 44100, settings));
    EXPECT_TRUE(settings.GraphicOn);
    EXPECT_EQ(settings.GraphicName, "Warm");
    EXPECT_TRUE(settings.HumOn);
    EXPECT_FALSE(settings.RumbleOn);
}

TEST(FiltersDialog, NoProfileNoHissAndTheEditorRefillsTheList) {
    MemoryProfile profile;
    test::ScriptedUi ui;
    ASSERT_TRUE(SaveCurve(profile, ui, "Warm", FlatCurve(), 44100, false));
    FilterSettings settings; // no profile block
    settings.HissOn = true;
    settings.GraphicOn = true;
    settings.GraphicName = "Warm";
    FiltersDialog d(nullptr, profile, ui, 44100, settings, {}, FiltersDialog::Form::Apply);
    d.show();
    EXPECT_FALSE(d.hissBox()->isEnabled());
    EXPECT_FALSE(d.hissBox()->isChecked());
    EXPECT_FALSE(d.humBox()->isEnabled());
    EXPECT_FALSE(d.settings().HissOn);
    EXPECT_TRUE(d.rumbleBox()->isEnabled());
    // A filter saved in the editor joins the list; the choice stays.
    test::onNextModal<CGraphDlg>([](CGraphDlg* g) {
        EXPECT_EQ(g->windowTitle(), "Graphic Filter Editor - Warm");
        g->nameEdit()->setText("Bright");
        test::press(g->button("Save"));
    });
    test::press(d.editButton());
    EXPECT_EQ(d.graphicList()->count(), 2);
    EXPECT_EQ(d.graphicList()->currentText(), "Warm");
    EXPECT_NE(d.graphicList()->findText("Bright"), -1);
}

TEST(FilterTestWindow, PlaysTheStretchAsItIsAndAsTheChoicesMakeIt) {
    test::LoadedSide s;
    FilterContext ctx = s.doc->filterContext();
    ASSERT_TRUE(EnsureProfileBlock(ctx));
    const std::vector<uint8_t> before = workingBytes(*s.doc);
    FilterSettings choice = s.doc->filters.settings;
    choice.HissOn = true;
    choice.HissLevel = 3;
    choice.TrebleOn = true;
    choice.TrebleLevel = -3;
    s.doc->currentEntry = 0;
    FilterTestWindow w(nullptr, *s.doc, choice);
    w.show();
    const WaveLayout& l = s.doc->store.layout;
    EXPECT_EQ(w.stretch().start, l.dataStart);
    EXPECT_EQ(w.stretch().end - w.stretch().start, 704000);
    const std::vector<int16_t>& original = w.originalAudio();
    ASSERT_EQ(original.size(), 704000u / 2);
    EXPECT_EQ(std::memcmp(original.data(), before.data() + l.dataStart, 704000), 0);
    std::vector<int16_t> filtered = w.filteredAudio();
    FilterContext again = s.doc->filterContext();
    EXPECT_EQ(filtered, FilterTest(again, w.stretch(), Effective(choice, true)));
    EXPECT_NE(filtered, original);
    test::press(w.twentySeconds());
    EXPECT_EQ(w.filteredAudio().size(), 3520000u / 2);
    EXPECT_EQ(workingBytes(*s.doc), before) << "the test leaves the working file alone";
}

TEST(GraphArea, PixelsAndBinsMapBothWays) {
    MemoryProfile profile;
    test::ScriptedUi ui;
    GraphCurve curve = FlatCurve();
    GraphArea area(nullptr, curve, 44100, ui);
    area.resize(536, 276);
    for (int zoom : {1, 10})
        for (int db : {1, 2, 5, 10, 20}) {
            area.setZoom(zoom);
            area.setDbPerDivision(db);
            for (int bin : {0, 3, 17, 25, 128, 255}) {
                if (zoom == 10 && bin > 25) continue;
                EXPECT_EQ(area.binAt(area.xOf(bin)), bin) << zoom << " " << bin;
            }
            for (int level : {-db * 2, -db, 0, db, db * 3})
                EXPECT_NEAR(area.levelAt(area.yOf(level)), level, std::max(1, db / 10))
                    << db << " " << level;
            // The 0 dB line: one division down at 10 and 20 dB per division, two otherwise.
            const int division = (276 - GraphArea::kBottomMargin - 4) / GraphArea::kDivisions;
            EXPECT_NEAR(area.zeroY() - 2, (db >= 10 ? 1 : 2) * division, 1);
        }
}

TEST(GraphDlg, DrawSaveReloadAndDeleteCurves) {
    MemoryProfile profile;
    test::ScriptedUi ui;
    const int rate = 44100;
    {
        CGraphDlg d(nullptr, profile, ui, rate, "");
        d.resize(760, 360);
        d.show();
        EXPECT_EQ(d.windowTitle(), "Graphic Filter Editor - New Filter");
        GraphArea* a = d.area();
        // A press away from the points adds one; dragging it moves it; Delete removes it.
        const QPoint at(a->xOf(128), a->yOf(6));
        QTest::mousePress(a, Qt::LeftButton, {}, at);
        QTest::mouseRelease(a, Qt::LeftButton, {}, at);
        ASSERT_EQ(d.curve().size(), 3u);
        EXPECT_EQ(d.curve()[1].x, 128);
        EXPECT_NEAR(d.curve()[1].level, 6, 1);
        EXPECT_TRUE(d.changed());
        EXPECT_TRUE(d.readoutLabel()->text().startsWith("Freq.: 11.0"))
            << d.readoutLabel()->text().toStdString();
        QTest::mousePress(a, Qt::LeftButton, {}, at);
        QTest::mouseMove(a, QPoint(a->xOf(64), a->yOf(12)));
        QTest::mouseRelease(a, Qt::LeftButton, {}, QPoint(a->xOf(64), a->yOf(12)));
        EXPECT_EQ(d.curve()[1].x, 64);
        EXPECT_NEAR(d.curve()[1].level, 12, 1);
        QTest::keyClick(a, Qt::Key_Insert);
        ASSERT_EQ(d.curve().size(), 4u);
        EXPECT_EQ(d.curve()[1].x, 32);
        QTest::keyClick(a, Qt::Key_Delete);
        EXPECT_EQ(d.curve().size(), 3u);
        a->setCurrent(0);
        QTest::keyClick(a, Qt::Key_Delete);
        EXPECT_EQ(d.curve().size(), 3u) << "the end points stay";
        EXPECT_EQ(ui.beeps, 1);

        // Switching away from unsaved work asks; No keeps it.
        ASSERT_TRUE(SaveCurve(profile, ui, "Other", FlatCurve(), rate, false));
        d.list()->addItem("Other");
        ui.answers = {Answer::No};
        d.list()->setCurrentIndex(1);
        EXPECT_EQ(ui.questions.back(), "Your new filter has not been saved. Abandon filter?");
        EXPECT_EQ(d.list()->currentIndex(), 0);
        EXPECT_EQ(d.curve().size(), 3u);

        // Saving needs a name, then stores the curve and closes the editor.
        test::press(d.button("Save"));
        EXPECT_EQ(ui.messages.back(),
                  "You have not specified a name for the new filter. Enter a new name before "
                  "saving.");
        d.nameEdit()->setText("Presence");
        test::press(d.button("Save"));
        EXPECT_FALSE(d.isVisible());
        EXPECT_EQ(d.chosenName(), "Presence");
    }
    EXPECT_EQ(ListCurves(profile), (std::vector<std::string>{"Other", "Presence"}));
    GraphCurve stored = LoadCurve(profile, ui, "Presence", rate);
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[1].x, 64);

    // Reopened on the name: its curve, the name field ready for a variant.
    CGraphDlg d(nullptr, profile, ui, rate, "Presence");
    EXPECT_EQ(d.windowTitle(), "Graphic Filter Editor - Presence");
    EXPECT_EQ(d.nameEdit()->text(), "Presence_");
    EXPECT_EQ(d.curve(), stored);
    d.curve()[1].level = 3;
    d.area()->setCurrent(1);
    QTest::keyClick(d.area(), Qt::Key_Insert);
    test::press(d.button("Undo Changes"));
    EXPECT_EQ(d.curve(), stored);
    ui.answers = {Answer::Yes};
    test::press(d.button("Delete Filter"));
    EXPECT_EQ(ui.questions.back(),
              "The Filter, \"Presence\" will be permanently deleted. Really delete?");
    EXPECT_EQ(d.list()->currentText(), CGraphDlg::kNewFilter);
    EXPECT_EQ(d.curve(), FlatCurve());
    EXPECT_EQ(ListCurves(profile), std::vector<std::string>{"Other"});
}

TEST(LevelDialogs, NormaliseAndBalanceScaleTheSide) {
    test::LoadedSide s;
    test::onNextModal<NormaliseDialog>([&](NormaliseDialog* d) {
        EXPECT_EQ(d->currentLabel()->text().toStdString(),
                  CurrentPeakText(s.doc->filters.levels.MaxSample));
        EXPECT_EQ(d->slider()->value(), -1);
        d->slider()->setValue(-6);
        EXPECT_EQ(d->levelLabel()->text(), "Set New Peak level to: -6 dB");
        test::press(d->normaliseButton());
    });
    ASSERT_TRUE(showNormaliseDialog(nullptr, *s.doc));
    s.doc->filters.levels.MaxSample = -1;
    const int peak = FindMaxSample(s.doc->store, s.ui, s.doc->filters.levels);
    EXPECT_NEAR(peak, std::pow(10.0, -6 / 20.0) * 32767, 1.5);
    EXPECT_TRUE(s.doc->modified);

    test::onNextModal<BalanceDialog>([](BalanceDialog* d) {
        EXPECT_EQ(d->group()->title(), "Channel Balance: Off");
        EXPECT_TRUE(d->estimateLabel()->text().startsWith("Estimated Correction Required:\n"));
        d->slider()->setValue(-4);
        EXPECT_EQ(d->group()->title(), "Channel Balance: Left +4dB");
        d->slider()->setValue(6);
        EXPECT_EQ(d->group()->title(), "Channel Balance: Right +6dB");
        test::press(d->applyButton());
    });
    const float before = s.doc->store.rightGain / s.doc->store.leftGain;
    ASSERT_TRUE(showBalanceDialog(nullptr, *s.doc));
    EXPECT_NEAR(20 * std::log10(s.doc->store.rightGain / s.doc->store.leftGain / before), 6.0,
                0.01);

    // Auto-Balance applies the estimate, which brings the channels level again.
    test::onNextModal<BalanceDialog>([](BalanceDialog* d) {
        EXPECT_TRUE(d->estimateLabel()->text().contains("Left")) << "the right is now louder";
        test::press(d->autoBox());
        EXPECT_FALSE(d->slider()->isEnabled());
        test::press(d->applyButton());
    });
    ASSERT_TRUE(showBalanceDialog(nullptr, *s.doc));
    // The gains now stand in the inverse ratio of the channels' loudness as loaded.
    const OverviewData& o = s.doc->overview;
    EXPECT_NEAR(s.doc->store.rightGain / s.doc->store.leftGain,
                (o.levelSum - o.balanceSum) / (o.levelSum + o.balanceSum), 0.01);
}

TEST(ProfileCommands, CaptureTheSelectionAndViewTheProfile) {
    test::LoadedSide s;
    const WaveLayout& l = s.doc->store.layout;
    // A half-second block in the lead-in.
    s.doc->blockStart = l.dataStart + 4096;
    s.doc->blockEnd = s.doc->blockStart + 44100 * 2;
    s.ui.answers = {Answer::Ok};
    ASSERT_TRUE(captureProfileCommand(nullptr, *s.doc));
    EXPECT_EQ(s.doc->filters.settings.ProfileStart, s.doc->blockStart);
    test::onNextModal<QDialog>([](QDialog* d) {
        EXPECT_EQ(d->windowTitle(), "View Profile");
        EXPECT_NE(d->findChild<ProfilePlot*>(), nullptr);
        d->accept();
    });
    std::optional<ProfileSpan> span = viewProfileCommand(nullptr, *s.doc);
    ASSERT_TRUE(span);
    EXPECT_EQ(span->start, s.doc->blockStart);
    EXPECT_EQ(span->end, s.doc->blockEnd);
    // Without a selection the block found is shown selected.
    s.doc->ClearBlock();
    s.doc->filters.settings.ProfileStart = s.doc->filters.settings.ProfileEnd = 0;
    test::onNextModal<QDialog>([](QDialog* d) { d->accept(); });
    std::optional<ProfileSpan> found = viewProfileCommand(nullptr, *s.doc);
    ASSERT_TRUE(found);
    EXPECT_EQ(s.doc->blockStart, found->start);
    EXPECT_EQ(s.doc->blockEnd, found->end);
    EXPECT_GT(found->end, found->start);
    int64_t sum = 0;
    for (int32_t v : s.doc->filters.tables.Profile[0]) sum += v;
    EXPECT_GT(sum, 0) << "the lead-in's hiss was measured";
}

} // namespace
} // namespace tarnival
