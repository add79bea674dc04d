#include "dialogs/Dialogs.h"
#include "dialogs/SaveDialog.h"
#include "dialogs/TrackPropertiesDialog.h"
#include "gui/DialogFixture.h"
#include "output/ExternalEncoder.h"
#include "support/Signals.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

namespace tarnival {
namespace {

namespace fs = std::filesystem;

QStringList names(const SaveDialog& d) {
    QStringList out;
    for (int i = 0; i < d.nameList()->count(); ++i) out << d.nameList()->item(i)->text();
    return out;
}

void selectOnly(SaveDialog& d, std::initializer_list<int> rows) {
    test::press(d.button("Clear All"));
    for (int r : rows) d.trackList()->item(r)->setSelected(true);
}

TEST(SaveDialog, TypeRuleNumberingAndSelectionBuildTheNames) {
    test::LoadedSide s;
    ASSERT_EQ(s.doc->tracks.trackCount(), 3);
    SaveDialog d(nullptr, *s.doc, true);
    d.show();
    EXPECT_EQ(names(d), (QStringList{"sidecor01.wav", "sidecor02.wav", "sidecor03.wav"}));
    EXPECT_TRUE(d.okButton()->isEnabled());
    EXPECT_FALSE(d.configureButton()->isEnabled());
    EXPECT_EQ(d.startLabel()->text(), "Start #:");
    EXPECT_TRUE(d.trackList()->item(1)->text().startsWith("Track 2   "));

    // The extension follows the type; "Configure" only where there is something to configure.
    struct TypeCase {
        int type;
        const char* first;
        bool configure;
    };
    for (const TypeCase& c : {TypeCase{ids::kFileOgg, "sidecor01.ogg", true},
                              TypeCase{ids::kFileApe, "sidecor01.ape", true},
                              TypeCase{ids::kFileFlac, "sidecor01.flac", true},
                              TypeCase{ids::kFileWave, "sidecor01.wav", false}}) {
        test::press(d.typeButton(c.type));
        EXPECT_EQ(names(d).value(0), c.first);
        EXPECT_EQ(d.configureButton()->isEnabled(), c.configure) << c.first;
    }

    // Numbering: place in the list, or consecutive along the selection, from the start number.
    selectOnly(d, {0, 2});
    EXPECT_EQ(names(d), (QStringList{"sidecor01.wav", "sidecor03.wav"}));
    EXPECT_TRUE(d.trackList()->item(1)->text().startsWith(" ---"));
    d.consecutiveBox()->setChecked(true);
    EXPECT_EQ(names(d), (QStringList{"sidecor01.wav", "sidecor02.wav"}));
    d.startEdit()->clear();
    QTest::keyClicks(d.startEdit(), "7");
    EXPECT_EQ(names(d), (QStringList{"sidecor07.wav", "sidecor08.wav"}));
    d.startEdit()->clear();
    QTest::keyClicks(d.startEdit(), "0");
    EXPECT_EQ(d.startEdit()->text(), "1") << "0 is no start number";
    EXPECT_EQ(s.ui.beeps, 1);

    // Nothing selected, or equal names, leave nothing to save.
    test::press(d.button("Clear All"));
    EXPECT_FALSE(d.okButton()->isEnabled());
    test::press(d.button("Select All"));
    EXPECT_TRUE(d.okButton()->isEnabled());
    d.ruleCombo()->setCurrentText("TITLE");
    EXPECT_FALSE(d.okButton()->isEnabled()) << "every untitled track is called ???";
    d.ruleCombo()->setCurrentText("# - TITLE");
    EXPECT_EQ(names(d).value(0), "01 - ---.wav");

    // An existing file is marked.
    test::writeFile(s.dir.file("01 - ---.wav"), {1, 2, 3});
    d.ruleCombo()->setCurrentText("# - TITLE ");
    d.ruleCombo()->setCurrentText("# - TITLE");
    EXPECT_EQ(names(d).value(0), "*01 - ---.wav");
    EXPECT_EQ(d.warningLabel()->text(), "*File already exists and will be overwritten");

    // Unknown tags are asked about; Cancel keeps the dialog open and stores nothing.
    d.ruleCombo()->setCurrentText("ARTIST - # TITLE");
    s.ui.answers = {Answer::Cancel};
    d.show();
    test::press(d.okButton());
    ASSERT_EQ(s.ui.questions.size(), 1u);
    EXPECT_EQ(s.ui.questions[0], "File names include unknown tags. Do you want to continue?");
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(get(s.profile, settings::kNamingRule), "");
    // OK stores the rule among the recent ones and answers with the paths.
    s.ui.answers = {Answer::Ok};
    test::press(d.okButton());
    EXPECT_EQ(d.result(), QDialog::Accepted);
    EXPECT_EQ(get(s.profile, settings::kNamingRule), "ARTIST - # TITLE");
    EXPECT_EQ(get(s.profile, settings::kRecentRules[0]), "ARTIST - # TITLE");
    ASSERT_EQ(d.request().paths.size(), 3u);
    EXPECT_EQ(d.request().paths[2], s.dir.file("Unknown Artist - 03 ---.wav"));
    EXPECT_EQ(d.request().trackNumbers, (std::vector<int>{1, 2, 3}));
    EXPECT_FALSE(d.request().closeAfterwards);

    // The next opening offers the rule again and starts with it.
    SaveDialog again(nullptr, *s.doc, true);
    EXPECT_EQ(again.ruleCombo()->currentText(), "ARTIST - # TITLE");
    EXPECT_GE(again.ruleCombo()->findText("ARTIST - # TITLE"), 6);
}

TEST(SaveDialog, TrackPropertiesFeedTheNames) {
    test::LoadedSide s(2);
    SaveDialog d(nullptr, *s.doc, true);
    d.show();
    d.ruleCombo()->setCurrentText("ALBUM - # TITLE");
    EXPECT_EQ(names(d).value(0), "side - 01 ---.wav") << "the album defaults to the input name";
    test::onNextModal<TrackPropertiesDialog>([](TrackPropertiesDialog* p) {
        p->rows()[0].title = "Overture";
        p->albumEdit()->setText("Proms 1962");
        p->accept();
    });
    test::press(d.button("Properties"));
    EXPECT_EQ(names(d), (QStringList{"Proms 1962 - 01 Overture.wav", "Proms 1962 - 02 ---.wav"}));
    EXPECT_TRUE(d.trackList()->item(0)->text().endsWith("Overture"));
}

TEST(SaveDialog, OneTrackKeepsItsFixedNumberUnlessRenumbered) {
    test::LoadedSide s(1, 20.0);
    ASSERT_EQ(s.doc->tracks.trackCount(), 1);
    SaveDialog d(nullptr, *s.doc, true);
    d.show();
    EXPECT_EQ(d.startLabel()->text(), "Tr. #:");
    EXPECT_EQ(d.consecutiveBox()->text(), "Re-number track");
    EXPECT_FALSE(d.button("Select All")->isEnabled());
    EXPECT_TRUE(d.consecutiveBox()->isChecked()) << "no track number of its own";
    EXPECT_EQ(names(d), QStringList{"sidecor01.wav"});
    d.consecutiveBox()->setChecked(false);
    EXPECT_EQ(names(d), QStringList{"sidecor  .wav"}) << "number 0 is two spaces";
}

TEST(SaveDialog, ExternalEncoderNeedsAValidSetUp) {
    test::LoadedSide s(2);
    SaveDialog d(nullptr, *s.doc, true);
    d.show();
    test::press(d.typeButton(ids::kFileOgg));
    // No encoder configured: the settings open; a missing program is refused, then Cancel.
    test::onNextModal<CompressDlg>([&](CompressDlg* c) {
        EXPECT_TRUE(c->encoderEdit()->isEnabled());
        EXPECT_FALSE(c->oggCombo()->isEnabled());
        c->encoderEdit()->setText(QString::fromStdString(s.dir.file("no-such-encoder")));
        c->parametersCombo()->setCurrentText("%IN %OUT");
        c->accept();
        EXPECT_EQ(s.ui.messages.back(), kInvalidParametersText);
        EXPECT_TRUE(c->isVisible());
        c->reject();
    });
    test::press(d.externalBox());
    EXPECT_FALSE(d.externalBox()->isChecked());
    EXPECT_TRUE(d.typeButton(ids::kFileOgg)->isChecked()) << "the previous type comes back";
    EXPECT_EQ(names(d).value(0), "sidecor01.ogg");

    // A program that exists, a template with %IN: the encoder's extension names the files.
    test::onNextModal<CompressDlg>([&](CompressDlg* c) {
        c->encoderEdit()->setText("/bin/cp");
        c->parametersCombo()->setCurrentText("%IN %OUT");
        c->extensionCombo()->setCurrentText("mp3");
        c->accept();
    });
    test::press(d.externalBox());
    EXPECT_TRUE(d.externalBox()->isChecked());
    EXPECT_TRUE(d.configureButton()->isEnabled());
    EXPECT_EQ(names(d).value(0), "sidecor01.mp3");
    EXPECT_EQ(get(s.profile, settings::kEncoder), "/bin/cp");
}

TEST(CompressDlg, EnablesByTypeAndKeepsThreeRecentTemplates) {
    MemoryProfile profile;
    test::ScriptedUi ui;
    struct Case {
        int type;
        bool encoder, ape, ogg, flac;
    };
    for (const Case& c : {Case{ids::kFileWave, true, false, false, false},
                          Case{ids::kFileApe, false, true, false, false},
                          Case{ids::kFileOgg, false, false, true, false},
                          Case{ids::kFileFlac, false, false, false, true}}) {
        CompressDlg d(nullptr, profile, ui, c.type);
        EXPECT_EQ(d.encoderEdit()->isEnabled(), c.encoder) << c.type;
        EXPECT_EQ(d.browseButton()->isEnabled(), c.encoder) << c.type;
        EXPECT_EQ(d.parametersCombo()->isEnabled(), c.encoder) << c.type;
        EXPECT_EQ(d.apeCombo()->isEnabled(), c.ape) << c.type;
        EXPECT_EQ(d.oggCombo()->isEnabled(), c.ogg) << c.type;
        EXPECT_EQ(d.flacCombo()->isEnabled(), c.flac) << c.type;
    }
    for (const char* t : {"A %IN %OUT", "B %IN %OUT", "C %IN %OUT", "B %IN %OUT", "D %IN %OUT"}) {
        CompressDlg d(nullptr, profile, ui, ids::kFileWave);
        d.encoderEdit()->setText("/bin/cp");
        d.parametersCombo()->setCurrentText(t);
        d.extensionCombo()->setCurrentText("mp3");
        d.accept();
        EXPECT_EQ(d.result(), QDialog::Accepted) << t;
    }
    EXPECT_EQ(get(profile, settings::kRecentParameters[0]), "B %IN %OUT");
    EXPECT_EQ(get(profile, settings::kRecentParameters[1]), "C %IN %OUT");
    EXPECT_EQ(get(profile, settings::kRecentParameters[2]), "D %IN %OUT");
    EXPECT_EQ(get(profile, settings::kRecentExtensions[0]), "mp3");
    EXPECT_EQ(get(profile, settings::kRecentExtensions[1]), "");
    // A template without %IN is refused.
    CompressDlg bad(nullptr, profile, ui, ids::kFileWave);
    bad.parametersCombo()->setCurrentText("%OUT");
    bad.accept();
    EXPECT_NE(bad.result(), QDialog::Accepted);
    EXPECT_EQ(get(profile, settings::kParameters), "D %IN %OUT");
    // The levels of the other types are stored from their combos.
    CompressDlg levels(nullptr, profile, ui, ids::kFileFlac);
    levels.flacCombo()->setCurrentIndex(8);
    levels.accept();
    EXPECT_EQ(get(profile, settings::kFlacLevel), 8);
}

TEST(SaveCommand, WritesTheChosenTypeUnderTheRuleAndConfirmsOverwriting) {
    test::LoadedSide s;
    const std::string out = s.dir.file("out");
    fs::create_directories(out);
    auto saveAs = [&](int type, bool expectConfirm, bool proceed) {
        test::onNextModal<SaveDialog>([&, type, expectConfirm, proceed](SaveDialog* d) {
            test::press(d->typeButton(type));
            d->folderEdit()->setText(QString::fromStdString(out));
            d->ruleCombo()->setCurrentText("ALBUM\\# - TITLE");
            if (expectConfirm)
                test::onNextModal<ConfirmSaveDialog>([proceed](ConfirmSaveDialog* c) {
                    EXPECT_EQ(c->list()->count(), 3);
                    EXPECT_TRUE(c->list()->item(0)->text().startsWith("* "));
                    proceed ? c->accept() : c->reject();
                });
            test::press(d->okButton());
        });
        return saveTracksCommand(nullptr, *s.doc);
    };
    ASSERT_TRUE(saveAs(ids::kFileFlac, false, false));
    for (int n = 1; n <= 3; ++n) {
        std::string path = out + "/side/0" + std::to_string(n) + " - ---.flac";
        ASSERT_TRUE(fs::exists(path)) << path;
        std::vector<uint8_t> head = test::readFile(path);
        EXPECT_EQ(std::string(head.begin(), head.begin() + 4), "fLaC");
    }
    EXPECT_EQ(get(s.profile, settings::kFileType), ids::kFileFlac);
    EXPECT_TRUE(s.doc->isLoaded());

    // The same names again: "Confirm Save" lists them; Cancel writes nothing.
    const auto before = fs::last_write_time(out + "/side/01 - ---.flac");
    EXPECT_FALSE(saveAs(ids::kFileFlac, true, false));
    EXPECT_EQ(fs::last_write_time(out + "/side/01 - ---.flac"), before);
    // Wave output of the same tracks: RIFF files.
    ASSERT_TRUE(saveAs(ids::kFileWave, false, false));
    std::vector<uint8_t> wav = test::readFile(out + "/side/02 - ---.wav");
    EXPECT_EQ(std::string(wav.begin(), wav.begin() + 4), "RIFF");

    // "Save && Close" writes, then closes the document.
    test::onNextModal<SaveDialog>([&](SaveDialog* d) {
        d->folderEdit()->setText(QString::fromStdString(out));
        test::press(d->typeButton(ids::kFileOgg));
        test::press(d->saveCloseButton());
    });
    ASSERT_TRUE(saveTracksCommand(nullptr, *s.doc));
    EXPECT_TRUE(fs::exists(out + "/side/03 - ---.ogg")) << "the rule used last comes back";
    EXPECT_FALSE(s.doc->isLoaded());
    EXPECT_FALSE(fs::exists(s.dir.file("side~.wav")));
}

TEST(TrackProperties, EditsReachTheTracksOnlyOnOk) {
    test::LoadedSide s;
    const int rate = 44100;
    set(s.profile, settings::kFadeOut, "1.5");
    const TrackList before = s.doc->tracks;
    {
        TrackPropertiesDialog d(nullptr, *s.doc);
        ASSERT_EQ(d.table()->rowCount(), 3);
        EXPECT_EQ(d.table()->horizontalHeaderItem(6)->text(), "F/0");
        test::onNextModal<TrackEditDialog>([](TrackEditDialog* e) {
            EXPECT_EQ(e->windowTitle(), "Track 1 Properties");
            EXPECT_FALSE(e->previousButton()->isEnabled());
            e->field(0)->setText("Intro");
            e->field(2)->setText("2");
            test::press(e->nextButton());
            EXPECT_EQ(e->windowTitle(), "Track 2 Properties");
            e->field(0)->setText("Song");
            e->field(1)->setText("The Band");
            e->accept();
        });
        test::press(d.button("Edit"));
        EXPECT_EQ(d.table()->item(0, 2)->text(), "Intro");
        EXPECT_EQ(d.table()->item(0, 5)->text(), "2.0") << "seconds shown as %3.1f";
        EXPECT_EQ(d.table()->item(1, 3)->text(), "The Band");
        d.table()->selectRow(2);
        test::press(d.button("Use Defaults"));
        EXPECT_EQ(d.table()->item(2, 6)->text(), "1.5");
        d.albumEdit()->setText("Live LP");
        d.genreEdit()->setText("Jazz");
        d.reject();
    }
    EXPECT_EQ(s.doc->tracks.tracks, before.tracks) << "Cancel changes nothing";

    TrackPropertiesDialog d(nullptr, *s.doc);
    d.rows()[0].title = "Intro";
    d.rows()[0].fadeIn = "2.0";
    d.rows()[2].fadeOut = "1.5";
    d.albumEdit()->setText("Live LP");
    d.accept();
    const TrackList& t = s.doc->tracks;
    EXPECT_EQ(t[1].title, "Intro");
    EXPECT_EQ(t[1].fadeIn, 2 * rate * 4);
    EXPECT_EQ(t[3].fadeOut, static_cast<int32_t>(1.5 * rate * 4));
    for (int i = 0; i < t.count(); ++i) EXPECT_EQ(t[i].album, "Live LP") << i;
    EXPECT_EQ(t[2].start, before[2].start) << "boundaries stay";
    EXPECT_TRUE(s.doc->modified);
}

TEST(DefaultTimings, StoredInTheSettingsAndUsedByUseDefaults) {
    test::LoadedSide s(2);
    DefaultTimingsDialog d(nullptr, *s.doc);
    d.field(0)->setText("Quartet");
    d.field(1)->setText("0.5");
    d.field(3)->setText("junk");
    d.accept();
    EXPECT_EQ(s.doc->tracks.defaultArtist, "Quartet");
    EXPECT_EQ(get(s.profile, settings::kPreSilence), "0.5");
    EXPECT_EQ(get(s.profile, settings::kFadeOut), "0.0");
}

} // namespace
} // namespace tarnival
