#include "dialogs/ScanOptionsDlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QVBoxLayout>

namespace tarnival {

namespace {

const char* const kDefaultNote = "For Advanced Options click here:\n(for expert users only):";
const char* const kWarningNote = "WARNING! Advanced options are set.\nClick here to change:";
const char* const kRepairTip =
    "Standard: each click is replaced by a reconstruction over its whole width.\n"
    "Precise: only the samples found damaged are rewritten, the music around them stays as "
    "it was; musical onsets are left alone.";
const char* const kRepairFixedTip =
    "The corrections of a file are all made one way: the repair method changes only with a "
    "re-scan of the whole file that removes every correction.";

bool isRescan(ScanOptionsForm f) {
    return f == ScanOptionsForm::RescanFile || f == ScanOptionsForm::RescanBlock;
}
bool isSuperScan(ScanOptionsForm f) {
    return f == ScanOptionsForm::SuperScanFile || f == ScanOptionsForm::SuperScanBlock;
}

QSlider* slider(int high, const char* tip) {
    auto* s = new QSlider(Qt::Horizontal);
    s->setRange(0, high);
    s->setPageStep(1);
    s->setTickPosition(QSlider::TicksBelow);
    s->setToolTip(tip);
    return s;
}

// A slider between its two end labels.
QWidget* withEnds(QSlider* s, const char* low, const char* high) {
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(new QLabel(low));
    row->addWidget(s, 1);
    row->addWidget(new QLabel(high));
    return w;
}

} // namespace

ScanOptionsDlg::ScanOptionsDlg(ScanOptionsForm form, const ScanOptionsValues& v, QWidget* parent,
                               const QString& caption, const QString& messageText)
    : QDialog(parent), form_(form) {
    const bool autoScan = form == ScanOptionsForm::AutoScan;
    const bool batch = form == ScanOptionsForm::BatchDeclick;
    if (autoScan)
        setWindowTitle("Auto-Scan Options");
    else if (batch)
        setWindowTitle("Set De-Click Options");
    else
        setWindowTitle(caption);
    auto* top = new QVBoxLayout(this);

    if (!autoScan) {
        message = new QLabel(batch ? QString("Set De-Click parameters for Batch File Operations")
                                   : messageText);
        message->setAutoFillBackground(true);
        message->setStyleSheet("color: red; background: white;");
        top->addWidget(message);
    }

    auto* sourceGroup = new QGroupBox("Source Recording");
    auto* sourceRow = new QHBoxLayout(sourceGroup);
    vinyl = new QRadioButton("Vinyl");
    tape = new QRadioButton("Tape");
    vinyl->setToolTip("source type vinyl - remove clicks from file");
    tape->setToolTip("source type tape/cassette - remove hiss from file");
    sourceRow->addWidget(vinyl);
    sourceRow->addWidget(tape);
    top->addWidget(sourceGroup);
    sourceGroup->setVisible(autoScan);

    auto* thresholdGroup = new QGroupBox;
    auto* thresholdBox = new QVBoxLayout(thresholdGroup);
    thresholdLabel = new QLabel;
    threshold = slider(5, "Click detection sensitivity; a higher value means more clicks will be "
                          "detected");
    thresholdBox->addWidget(thresholdLabel);
    thresholdBox->addWidget(withEnds(threshold, "Min. Effect", "Max. Effect"));
    thresholdBox->addWidget(new QLabel("Off"));
    top->addWidget(thresholdGroup);

    auto* choices = new QHBoxLayout;
    modeGroup = new QGroupBox("Click Detect Mode");
    auto* modeBox = new QVBoxLayout(modeGroup);
    differential = new QRadioButton(" Differential ");
    perChannel = new QRadioButton(" Per Channel ");
    differential->setToolTip("only use fro mono records played on stereo equipment");
    perChannel->setToolTip("use in all other cases");
    modeBox->addWidget(differential);
    modeBox->addWidget(perChannel);
    choices->addWidget(modeGroup);

    auto* widthGroup = new QGroupBox("Correction Width");
    auto* widthBox = new QVBoxLayout(widthGroup);
    normalWidth = new QRadioButton(" Normal ");
    narrowWidth = new QRadioButton(" Narrow ");
    normalWidth->setToolTip("normal corrections widths");
    narrowWidth->setToolTip("reduced correction widths");
    widthBox->addWidget(normalWidth);
    widthBox->addWidget(narrowWidth);
    choices->addWidget(widthGroup);

    auto* repairGroup = new QGroupBox("Repair Method");
    auto* repairBox = new QVBoxLayout(repairGroup);
    standardRepair = new QRadioButton("Standard");
    preciseRepair = new QRadioButton("Precise");
    repairBox->addWidget(standardRepair);
    repairBox->addWidget(preciseRepair);
    const bool methodFree = autoScan || batch || form == ScanOptionsForm::RescanFile;
    for (QWidget* w : {static_cast<QWidget*>(repairGroup), static_cast<QWidget*>(standardRepair),
                       static_cast<QWidget*>(preciseRepair)})
        w->setToolTip(methodFree ? kRepairTip : kRepairFixedTip);
    repairGroup->setEnabled(methodFree);
    choices->addWidget(repairGroup);
    top->addLayout(choices);
    // Radio buttons in separate groups must not exclude each other.
    for (auto pair :
         {std::pair{vinyl, tape}, std::pair{differential, perChannel},
          std::pair{normalWidth, narrowWidth}, std::pair{standardRepair, preciseRepair}}) {
        auto* g = new QButtonGroup(this);
        g->addButton(pair.first);
        g->addButton(pair.second);
    }

    auto* splitGroup = new QGroupBox("Track Splitting");
    auto* splitBox = new QVBoxLayout(splitGroup);
    splitTracks = new QCheckBox("Enable");
    gapless = new QCheckBox("Gapless Track Boundaries (Disk-At-Once)");
    splitTracks->setToolTip("split an album file into separate tracks");
    gapless->setToolTip("use for recordings without gaps between tracks");
    splitBox->addWidget(splitTracks);
    splitBox->addWidget(gapless);
    top->addWidget(splitGroup);
    splitGroup->setVisible(autoScan);

    if (isSuperScan(form) || batch || isRescan(form)) {
        auto* extra = new QGroupBox(isRescan(form) ? "Do NOT Remove" : "Super-Scan Passes");
        auto* extraBox = new QHBoxLayout(extra);
        if (isRescan(form)) {
            keepUser = new QCheckBox("User Corrections");
            keepCuts = new QCheckBox("Cuts");
            keepUser->setToolTip("do NOT remove user corrections before re-scanning");
            keepCuts->setToolTip("do NOT remove 'cut && splice' cuts  before re-scanning");
            keepUser->setEnabled(v.hasUserCorrections);
            keepUser->setChecked(v.hasUserCorrections);
            keepCuts->setEnabled(v.hasCuts);
            keepCuts->setChecked(v.hasCuts);
            extraBox->addWidget(keepUser);
            extraBox->addWidget(keepCuts);
        } else {
            passes = new QComboBox;
            for (int i = batch ? 0 : 1; i <= 6; ++i) passes->addItem(QString::number(i));
            passes->setToolTip("enter the number of passes for the de-clicker");
            passes->setCurrentIndex(std::clamp(v.passes - (batch ? 0 : 1), 0, passes->count() - 1));
            extraBox->addWidget(passes);
        }
        top->addWidget(extra);
    }

    auto* buttonsRow = new QHBoxLayout;
    restoreDefault = new QPushButton("Restore Default");
    advancedDefaults = new QPushButton("Adv. Defaults");
    restoreDefault->setToolTip("restore basic settings to their default values");
    advancedDefaults->setToolTip("restore advanced settings to thier default values");
    advancedNote = new QLabel;
    advancedToggle = new QPushButton("Advanced >>");
    advancedToggle->setToolTip("show or hide advanced controls");
    buttonsRow->addWidget(restoreDefault);
    buttonsRow->addWidget(advancedDefaults);
    buttonsRow->addWidget(advancedNote, 1);
    buttonsRow->addWidget(advancedToggle);
    top->addLayout(buttonsRow);

    advancedGroup = new QGroupBox("Advanced Options");
    auto* adv = new QGridLayout(advancedGroup);
    agc = slider(3, "Reduce sensitivity with increasing volume");
    discriminator = slider(3, "adjust discrimination between music and noise");
    minMagnitude = slider(10, "set minimum magnitude for detected clicks");
    agcLabel = new QLabel;
    discriminatorLabel = new QLabel;
    minMagnitudeLabel = new QLabel;
    int row = 0;
    for (auto [label, s] : {std::pair{agcLabel, agc}, std::pair{discriminatorLabel, discriminator},
                            std::pair{minMagnitudeLabel, minMagnitude}}) {
        adv->addWidget(label, row, 0);
        adv->addWidget(withEnds(s, "Low", "High"), row, 1);
        ++row;
    }
    top->addWidget(advancedGroup);
    advancedGroup->setVisible(false);

    auto* box = new QDialogButtonBox;
    okButton = box->addButton(autoScan || batch ? "OK" : "Scan", QDialogButtonBox::AcceptRole);
    box->addButton("Cancel", QDialogButtonBox::RejectRole);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(box);

    // Fill.
    const ScanSettings& s = v.scan;
    vinylLevel_ =
        s.sensitivity < 0 ? settings::kDefaultSensitivity : std::clamp(s.sensitivity, 0, 5);
    tapeLevel_ = std::clamp(s.subtractor, 0, 3);
    (s.isTape() && autoScan ? tape : vinyl)->setChecked(true);
    (s.isDifferential() ? differential : perChannel)->setChecked(true);
    (s.isNarrow() ? narrowWidth : normalWidth)->setChecked(true);
    (s.method() == RepairMethod::Precise ? preciseRepair : standardRepair)->setChecked(true);
    splitTracks->setChecked(s.splitTracks != 0);
    gapless->setChecked(s.gapless != 0);
    agc->setValue(s.agc);
    discriminator->setValue(s.discriminator);
    minMagnitude->setValue(s.minMagnitude);
    sourceChanged();

    connect(vinyl, &QRadioButton::toggled, this, [this] { sourceChanged(); });
    connect(threshold, &QSlider::valueChanged, this, [this](int value) {
        if (switching_) return;
        (vinyl->isChecked() ? vinylLevel_ : tapeLevel_) = value;
        refresh();
    });
    for (QSlider* sl : {agc, discriminator, minMagnitude})
        connect(sl, &QSlider::valueChanged, this, [this] { refresh(); });
    for (QRadioButton* b : {differential, perChannel, normalWidth, narrowWidth})
        connect(b, &QRadioButton::toggled, this, [this] { refresh(); });
    connect(splitTracks, &QCheckBox::toggled, this, [this] { refresh(); });
    if (keepUser)
        for (QCheckBox* c : {keepUser, keepCuts})
            connect(c, &QCheckBox::toggled, this, [this] { refresh(); });
    connect(restoreDefault, &QPushButton::clicked, this, [this] {
        vinylLevel_ = settings::kDefaultSensitivity;
        tapeLevel_ = 2;
        sourceChanged();
    });
    connect(advancedDefaults, &QPushButton::clicked, this, [this] {
        agc->setValue(0);
        discriminator->setValue(0);
        minMagnitude->setValue(0);
        perChannel->setChecked(true);
        normalWidth->setChecked(true);
        refresh();
    });
    connect(advancedToggle, &QPushButton::clicked, this, [this] {
        const bool show = !advancedGroup->isVisible();
        advancedGroup->setVisible(show);
        advancedToggle->setText(show ? "Advanced <<" : "Advanced >>");
        advancedNote->setEnabled(!show);
        adjustSize();
    });
}

void ScanOptionsDlg::sourceChanged() {
    switching_ = true;
    const bool isVinyl = vinyl->isChecked();
    threshold->setRange(0, isVinyl ? 5 : 3);
    threshold->setValue(isVinyl ? vinylLevel_ : tapeLevel_);
    threshold->setToolTip(isVinyl ? "Click detection sensitivity; a higher value means more "
                                    "clicks will be detected"
                                  : "De-hiss setting. A higher value means more hiss will be "
                                    "removed.");
    switching_ = false;
    refresh();
}

void ScanOptionsDlg::setHighlighted(QLabel* label, bool on) {
    label->setAutoFillBackground(on);
    label->setStyleSheet(on ? "color: red; background: white;" : "");
}

void ScanOptionsDlg::refresh() {
    const bool isVinyl = vinyl->isChecked();
    const int level = threshold->value();
    if (isVinyl)
        thresholdLabel->setText(level == 0 ? " Click Threshold: Off "
                                           : QString(" Click Threshold = %1 ").arg(level));
    else
        thresholdLabel->setText(level == 0 ? " Hiss Reduction: Off "
                                           : QString(" Hiss Reduction: %1dB ").arg(6 * level + 2));
    setHighlighted(thresholdLabel, isVinyl ? level != 3 : level != 2);
    modeGroup->setEnabled(isVinyl);
    for (QWidget* w :
         {static_cast<QWidget*>(agc), static_cast<QWidget*>(discriminator),
          static_cast<QWidget*>(minMagnitude), static_cast<QWidget*>(agcLabel),
          static_cast<QWidget*>(discriminatorLabel), static_cast<QWidget*>(minMagnitudeLabel)})
        w->setEnabled(isVinyl);
    agcLabel->setText(QString(" AGC Setting = %1 ").arg(agc->value()));
    discriminatorLabel->setText(QString(" Noise Discriminator = %1 ").arg(discriminator->value()));
    minMagnitudeLabel->setText(QString(" Min. Magnitude = %1 ").arg(minMagnitude->value()));
    setHighlighted(agcLabel, agc->value() != 0);
    setHighlighted(discriminatorLabel, discriminator->value() != 0);
    setHighlighted(minMagnitudeLabel, minMagnitude->value() != 0);
    differential->setStyleSheet(differential->isChecked() ? "color: red; background: white;" : "");
    narrowWidth->setStyleSheet(narrowWidth->isChecked() ? "color: red; background: white;" : "");
    const bool defaults = isVinyl ? agc->value() == 0 && discriminator->value() == 0 &&
                                        minMagnitude->value() == 0 && perChannel->isChecked() &&
                                        normalWidth->isChecked()
                                  : normalWidth->isChecked();
    advancedNote->setText(defaults ? kDefaultNote : kWarningNote);
    advancedNote->setStyleSheet(defaults ? "" : "color: red;");
    gapless->setEnabled(splitTracks->isChecked());
    // A re-scan that keeps corrections re-applies them: their method must stay.
    if (form_ == ScanOptionsForm::RescanFile) {
        const bool keeps =
            (keepUser && keepUser->isChecked()) || (keepCuts && keepCuts->isChecked());
        standardRepair->parentWidget()->setEnabled(!keeps);
    }
}

ScanOptionsValues ScanOptionsDlg::values() const {
    ScanOptionsValues v;
    ScanSettings& s = v.scan;
    s.source = tape->isChecked() ? ids::kTape : ids::kVinyl;
    s.sensitivity = vinylLevel_;
    s.subtractor = tapeLevel_;
    s.mode = differential->isChecked() ? ids::kDifferential : ids::kPerChannel;
    s.corWidth = narrowWidth->isChecked() ? ids::kNarrowWidth : ids::kNormalWidth;
    s.repairMethod = preciseRepair->isChecked() ? ids::kRepairPrecise : ids::kRepairStandard;
    s.agc = agc->value();
    s.discriminator = discriminator->value();
    s.minMagnitude = minMagnitude->value();
    s.splitTracks = splitTracks->isChecked() ? 1 : 0;
    s.gapless = gapless->isChecked() ? 1 : 0;
    if (passes) v.passes = passes->currentText().toInt();
    if (keepUser) {
        v.keepUserCorrections = keepUser->isEnabled() && keepUser->isChecked();
        v.keepCuts = keepCuts->isEnabled() && keepCuts->isChecked();
        v.hasUserCorrections = keepUser->isEnabled();
        v.hasCuts = keepCuts->isEnabled();
    }
    return v;
}

bool editScanSettings(QWidget* parent, ScanSettings& settings) {
    ScanOptionsValues v;
    v.scan = settings;
    ScanOptionsDlg dlg(ScanOptionsForm::AutoScan, v, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    settings = dlg.values().scan;
    return true;
}

bool editBatchDeclick(QWidget* parent, ScanSettings& settings, int& passes) {
    ScanOptionsValues v;
    v.scan = settings;
    v.passes = passes;
    ScanOptionsDlg dlg(ScanOptionsForm::BatchDeclick, v, parent);
    if (dlg.exec() != QDialog::Accepted) return false;
    const ScanOptionsValues chosen = dlg.values();
    ScanSettings s = chosen.scan;
    // Only the de-click values belong to the batch; the rest stays as it was.
    settings.sensitivity = s.sensitivity;
    settings.mode = s.mode;
    settings.agc = s.agc;
    settings.discriminator = s.discriminator;
    settings.minMagnitude = s.minMagnitude;
    settings.corWidth = s.corWidth;
    settings.repairMethod = s.repairMethod;
    passes = chosen.passes;
    return true;
}

bool showScanOptions(QWidget* parent, CMorvath3Doc& doc, ScanOptionsForm form) {
    if (form == ScanOptionsForm::AutoScan) {
        ScanSettings s = doc.scan;
        if (!editScanSettings(parent, s)) return false;
        doc.scan = s;
        doc.scan.save(doc.profile());
        return true;
    }
    if (form == ScanOptionsForm::BatchDeclick) return false; // the batch dialog owns that form
    if (!doc.isLoaded() || !doc.scanned()) {
        doc.ui().beep();
        return false;
    }
    const bool super = isSuperScan(form);
    const bool whole =
        form == ScanOptionsForm::RescanFile || form == ScanOptionsForm::SuperScanFile;
    if (!whole && !doc.hasBlock()) {
        doc.ui().beep();
        return false;
    }
    const RescanPrompt prompt = doc.PrepareRescan(super, whole);
    const RescanOptions defaults = doc.RescanDefaults();
    ScanOptionsValues v;
    v.scan = doc.scan;
    v.scan.sensitivity = defaults.sensitivity;
    v.scan.mode = defaults.mode;
    v.scan.repairMethod = defaults.repairMethod;
    v.passes = defaults.passes;
    v.hasUserCorrections = prompt.hasUserCorrections;
    v.hasCuts = prompt.hasCuts;
    ScanOptionsDlg dlg(form, v, parent, QString::fromStdString(prompt.caption),
                       QString::fromStdString(prompt.message));
    if (dlg.exec() != QDialog::Accepted) {
        if (whole) doc.ClearBlock();
        return false;
    }
    const ScanOptionsValues chosen = dlg.values();
    RescanOptions c;
    c.sensitivity = chosen.scan.sensitivity;
    c.mode = chosen.scan.mode;
    c.agc = chosen.scan.agc;
    c.discriminator = chosen.scan.discriminator;
    c.minMagnitude = chosen.scan.minMagnitude;
    c.corWidth = chosen.scan.corWidth;
    c.repairMethod = chosen.scan.repairMethod;
    c.passes = chosen.passes;
    c.keepUserCorrections = chosen.keepUserCorrections;
    c.keepCuts = chosen.keepCuts;
    return doc.Rescan(super, whole, c);
}

} // namespace tarnival
