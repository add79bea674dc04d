#pragma once
#include "facade/Document.h"
#include "scan/ScanSettings.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;

namespace tarnival {

// The forms of the scan options dialog: before processing (and the "Auto-Scan Options..."
// command), the four re-scan commands and the batch's de-click settings.
enum class ScanOptionsForm {
    AutoScan,
    RescanFile,
    RescanBlock,
    SuperScanFile,
    SuperScanBlock,
    BatchDeclick,
};

// What the dialog edits, whichever form it has.
struct ScanOptionsValues {
    ScanSettings scan;
    int passes = 1; // super-scan passes; the batch's may be 0
    bool keepUserCorrections = false;
    bool keepCuts = false;
    bool hasUserCorrections = false; // the block holds some: the check box may be ticked
    bool hasCuts = false;
};

class ScanOptionsDlg : public QDialog {
    Q_OBJECT
  public:
    // message and caption: the re-scan commands' texts (see CMorvath3Doc::PrepareRescan).
    ScanOptionsDlg(ScanOptionsForm form, const ScanOptionsValues& values, QWidget* parent = nullptr,
                   const QString& caption = {}, const QString& message = {});
    ScanOptionsValues values() const;

    // Controls, for the tests and for whoever lays the dialog out again.
    QRadioButton* vinyl = nullptr;
    QRadioButton* tape = nullptr;
    QSlider* threshold = nullptr;
    QLabel* thresholdLabel = nullptr;
    QRadioButton* differential = nullptr;
    QRadioButton* perChannel = nullptr;
    QGroupBox* modeGroup = nullptr;
    QRadioButton* normalWidth = nullptr;
    QRadioButton* narrowWidth = nullptr;
    QRadioButton* standardRepair = nullptr;
    QRadioButton* preciseRepair = nullptr;
    QCheckBox* splitTracks = nullptr;
    QCheckBox* gapless = nullptr;
    QPushButton* restoreDefault = nullptr;
    QPushButton* advancedDefaults = nullptr;
    QPushButton* advancedToggle = nullptr;
    QLabel* advancedNote = nullptr;
    QGroupBox* advancedGroup = nullptr;
    QSlider* agc = nullptr;
    QSlider* discriminator = nullptr;
    QSlider* minMagnitude = nullptr;
    QLabel* agcLabel = nullptr;
    QLabel* discriminatorLabel = nullptr;
    QLabel* minMagnitudeLabel = nullptr;
    QComboBox* passes = nullptr;
    QCheckBox* keepUser = nullptr;
    QCheckBox* keepCuts = nullptr;
    QLabel* message = nullptr;
    QPushButton* okButton = nullptr;

  private:
    void sourceChanged();
    void refresh();
    void setHighlighted(QLabel* label, bool on);

    ScanOptionsForm form_;
    int vinylLevel_ = 3; // each source keeps its own slider value
    int tapeLevel_ = 2;
    bool switching_ = false;
};

// The whole command of each form: fills the dialog from the document, and on OK stores the
// choice (Auto-Scan: into the document and all its settings keys; re-scan forms: runs the
// re-scan or super-scan). False when the user cancelled or nothing was done.
bool showScanOptions(QWidget* parent, CMorvath3Doc& doc, ScanOptionsForm form);
// The dialog before a file is processed: edits the settings, which the caller stores.
bool editScanSettings(QWidget* parent, ScanSettings& settings);
// The batch's de-click settings and super-scan passes (0 .. 6).
bool editBatchDeclick(QWidget* parent, ScanSettings& settings, int& passes);

} // namespace tarnival
