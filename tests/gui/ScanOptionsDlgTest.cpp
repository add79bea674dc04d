// The scan options dialog in each of its forms, driven through its controls.
#include "dialogs/ScanOptionsDlg.h"
#include "support/ScriptedUi.h"
#include "support/Signals.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

namespace tarnival {
namespace {

// A radio button reacts only on its indicator and text, not the whole width it is given.
void clickRadio(QRadioButton* b) {
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2));
}

bool red(const QWidget* w) {
    return w->styleSheet().contains("color: red");
}

TEST(ScanOptionsDlg, LiveLabelsEnablingAndDefaults) {
    ScanOptionsValues v;
    v.scan.sensitivity = 3;
    v.scan.subtractor = 2;
    ScanOptionsDlg d(ScanOptionsForm::AutoScan, v);
    d.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&d));
    EXPECT_EQ(d.windowTitle(), "Auto-Scan Options");
    EXPECT_EQ(d.okButton->text(), "OK");
    EXPECT_EQ(d.thresholdLabel->text(), " Click Threshold = 3 ");
    EXPECT_FALSE(red(d.thresholdLabel));
    d.threshold->setValue(0);
    EXPECT_EQ(d.thresholdLabel->text(), " Click Threshold: Off ");
    EXPECT_TRUE(red(d.thresholdLabel)); // differs from the default

    // Tape: the hiss level on the slider, the detector's controls off; each keeps its value.
    clickRadio(d.tape);
    EXPECT_EQ(d.threshold->maximum(), 3);
    EXPECT_EQ(d.thresholdLabel->text(), " Hiss Reduction: 14dB ");
    EXPECT_FALSE(d.modeGroup->isEnabled());
    EXPECT_FALSE(d.agc->isEnabled());
    EXPECT_FALSE(d.minMagnitudeLabel->isEnabled());
    d.threshold->setValue(0);
    EXPECT_EQ(d.thresholdLabel->text(), " Hiss Reduction: Off ");
    clickRadio(d.vinyl);
    EXPECT_EQ(d.threshold->maximum(), 5);
    EXPECT_EQ(d.threshold->value(), 0);
    EXPECT_TRUE(d.modeGroup->isEnabled());
    QTest::mouseClick(d.restoreDefault, Qt::LeftButton);
    EXPECT_EQ(d.threshold->value(), 3);
    EXPECT_EQ(d.values().scan.subtractor, 2);

    // One advanced value set turns the note into the warning; "Adv. Defaults" takes it back.
    EXPECT_EQ(d.advancedNote->text(), "For Advanced Options click here:\n(for expert users only):");
    d.minMagnitude->setValue(1);
    EXPECT_EQ(d.minMagnitudeLabel->text(), " Min. Magnitude = 1 ");
    EXPECT_TRUE(red(d.minMagnitudeLabel));
    EXPECT_TRUE(red(d.advancedNote));
    EXPECT_EQ(d.advancedNote->text(), "WARNING! Advanced options are set.\nClick here to change:");
    d.minMagnitude->setValue(0);
    clickRadio(d.narrowWidth);
    EXPECT_TRUE(d.advancedNote->text().startsWith("WARNING!"));
    QTest::mouseClick(d.advancedDefaults, Qt::LeftButton);
    EXPECT_TRUE(d.normalWidth->isChecked());
    EXPECT_TRUE(d.advancedNote->text().startsWith("For Advanced"));

    EXPECT_FALSE(d.advancedGroup->isVisibleTo(&d));
    QTest::mouseClick(d.advancedToggle, Qt::LeftButton);
    EXPECT_TRUE(d.advancedGroup->isVisibleTo(&d));
    EXPECT_EQ(d.advancedToggle->text(), "Advanced <<");

    d.splitTracks->setChecked(false);
    EXPECT_FALSE(d.gapless->isEnabled());
    d.splitTracks->setChecked(true);
    EXPECT_TRUE(d.gapless->isEnabled());

    // What the dialog gives back.
    clickRadio(d.differential);
    clickRadio(d.preciseRepair);
    d.agc->setValue(2);
    d.discriminator->setValue(3);
    d.threshold->setValue(5);
    const ScanSettings s = d.values().scan;
    EXPECT_EQ(s.sensitivity, 5);
    EXPECT_EQ(s.mode, ids::kDifferential);
    EXPECT_EQ(s.repairMethod, ids::kRepairPrecise);
    EXPECT_EQ(s.agc, 2);
    EXPECT_EQ(s.discriminator, 3);
    EXPECT_EQ(s.source, ids::kVinyl);
    EXPECT_FALSE(d.preciseRepair->toolTip().isEmpty());
    EXPECT_TRUE(d.standardRepair->isEnabled());
}

TEST(ScanOptionsDlg, FormsOfTheRescanCommandsAndTheBatch) {
    ScanOptionsValues v;
    v.scan.sensitivity = 2;
    v.passes = 3;
    {
        ScanOptionsDlg d(ScanOptionsForm::SuperScanFile, v, nullptr, "Super-Scan for Clicks",
                         "New corrections");
        EXPECT_EQ(d.windowTitle(), "Super-Scan for Clicks");
        EXPECT_EQ(d.okButton->text(), "Scan");
        ASSERT_NE(d.passes, nullptr);
        EXPECT_EQ(d.passes->count(), 6);
        EXPECT_EQ(d.passes->itemText(0), "1");
        EXPECT_EQ(d.passes->currentText(), "3");
        EXPECT_EQ(d.keepUser, nullptr);
        EXPECT_EQ(d.message->styleSheet(), "color: red; background: white;");
        // The corrections of a file share one method: a super-scan cannot change it.
        EXPECT_FALSE(d.preciseRepair->isEnabled());
    }
    {
        ScanOptionsDlg d(ScanOptionsForm::BatchDeclick, v);
        EXPECT_EQ(d.windowTitle(), "Set De-Click Options");
        EXPECT_EQ(d.message->text(), "Set De-Click parameters for Batch File Operations");
        EXPECT_EQ(d.okButton->text(), "OK");
        EXPECT_EQ(d.passes->count(), 7);
        EXPECT_EQ(d.passes->itemText(0), "0");
        d.passes->setCurrentIndex(0);
        EXPECT_EQ(d.values().passes, 0);
        EXPECT_TRUE(d.preciseRepair->isEnabled());
    }
    for (bool user : {false, true}) {
        v.hasUserCorrections = user;
        v.hasCuts = !user;
        ScanOptionsDlg d(ScanOptionsForm::RescanFile, v, nullptr, "Re-Scan for Clicks", "All");
        ASSERT_NE(d.keepUser, nullptr);
        EXPECT_EQ(d.passes, nullptr);
        EXPECT_EQ(d.keepUser->isEnabled(), user);
        EXPECT_EQ(d.keepUser->isChecked(), user);
        EXPECT_EQ(d.keepCuts->isEnabled(), !user);
        EXPECT_EQ(d.keepCuts->isChecked(), !user);
        // Keeping corrections keeps their method.
        EXPECT_FALSE(d.preciseRepair->isEnabled());
        (user ? d.keepUser : d.keepCuts)->setChecked(false);
        EXPECT_TRUE(d.preciseRepair->isEnabled());
        const ScanOptionsValues out = d.values();
        EXPECT_FALSE(out.keepUserCorrections);
        EXPECT_FALSE(out.keepCuts);
    }
}

TEST(ScanOptionsDlg, TheSuperScanCommandRunsWithTheChosenPasses) {
    test::TempDir dir;
    MemoryProfile profile;
    profile.setInt("Settings", "Temp Mode", ids::kTempUser);
    profile.setString("Settings", "Temp Path", dir.path().string());
    profile.setInt("Settings", "Sensitivity", 1);
    profile.setInt("Settings", "Split Tracks", 0);
    test::Stereo audio = test::music(44100 * 8, 44100, 4, 5000);
    test::addClicks(audio, 40, 30000, 44100 * 8 - 30000, 6);
    test::writeWav(dir.file("side.wav"), audio);
    test::ScriptedUi ui;
    CMorvath3Doc doc(profile, ui);
    ASSERT_TRUE(doc.OpenWave(dir.file("side.wav")));
    ASSERT_TRUE(doc.ProcessFile());
    const int before = doc.corrections.count();

    // Cancel first, then choose 2 passes at threshold 5 and scan.
    int shown = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        auto* d = qobject_cast<ScanOptionsDlg*>(QApplication::activeModalWidget());
        if (!d) return;
        ++shown;
        EXPECT_EQ(d->windowTitle(), "Super-Scan for Clicks");
        if (shown == 1) {
            d->reject();
            return;
        }
        d->passes->setCurrentIndex(1);
        d->threshold->setValue(5);
        QTest::mouseClick(d->okButton, Qt::LeftButton);
    });
    driver.start(20);
    EXPECT_FALSE(showScanOptions(nullptr, doc, ScanOptionsForm::SuperScanFile));
    EXPECT_EQ(doc.corrections.count(), before);
    EXPECT_FALSE(doc.hasBlock());
    EXPECT_TRUE(showScanOptions(nullptr, doc, ScanOptionsForm::SuperScanFile));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(doc.blockSettings.passes, 2);
    EXPECT_EQ(doc.scan.sensitivity, 5);
    EXPECT_GT(doc.corrections.count(), before);
    // A block command without a block is refused with a beep.
    EXPECT_FALSE(showScanOptions(nullptr, doc, ScanOptionsForm::RescanBlock));
    EXPECT_EQ(ui.beeps, 1);
}

} // namespace
} // namespace tarnival
