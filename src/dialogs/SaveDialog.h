#pragma once
#include "output/NamingRules.h"
#include "output/OutputSettings.h"
#include "output/SaveTracks.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tarnival {

class CMorvath3Doc;

// "Save Corrected Waveform": output type, tracks, numbering, naming rule and folder, with the
// resulting names shown live.
class SaveDialog : public QDialog {
  public:
    SaveDialog(QWidget* parent, CMorvath3Doc& doc, bool allowSaveAndClose);

    // What to write; valid after the dialog was accepted.
    const SaveRequest& request() const { return request_; }
    const OutputSettings& output() const { return output_; }
    const OutputNames& names() const { return names_; }

    QRadioButton* typeButton(int fileType) const;
    QCheckBox* externalBox() const { return external_; }
    QPushButton* configureButton() const { return configure_; }
    QListWidget* trackList() const { return tracks_; }
    QLineEdit* startEdit() const { return start_; }
    QLabel* startLabel() const { return startLabel_; }
    QCheckBox* consecutiveBox() const { return consecutive_; }
    QComboBox* ruleCombo() const { return rule_; }
    QLineEdit* folderEdit() const { return folder_; }
    QListWidget* nameList() const { return nameList_; }
    QLabel* warningLabel() const { return warning_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* saveCloseButton() const { return saveClose_; }
    QPushButton* button(const QString& text) const;

    // The controls' handlers (public so that the gallery and tests can reach them directly).
    void chooseType(int fileType);
    void chooseExternal(bool on);
    void rebuild();
    void finish(bool closeAfterwards);

  private:
    void startEdited();
    void changeFolder();
    void configure();
    void trackProperties();
    void fillTracks();

    CMorvath3Doc& doc_;
    OutputSettings output_;
    SaveRequest request_;
    OutputNames names_;
    NamingInput naming_;
    bool rebuilding_ = false;

    QRadioButton* types_[4];
    QCheckBox* external_;
    QPushButton* configure_;
    QListWidget* tracks_;
    QLabel* startLabel_;
    QLineEdit* start_;
    QCheckBox* consecutive_;
    QComboBox* rule_;
    QLineEdit* folder_;
    QListWidget* nameList_;
    QLabel* warning_;
    QPushButton* ok_;
    QPushButton* saveClose_;
};

// "Confirm Save": the output files, the existing ones marked and in red.
class ConfirmSaveDialog : public QDialog {
  public:
    ConfirmSaveDialog(QWidget* parent, const std::vector<std::string>& lines);
    QListWidget* list() const { return list_; }

  private:
    QListWidget* list_;
};

// "Compression Settings" for one output type.
class CompressDlg : public QDialog {
  public:
    CompressDlg(QWidget* parent, Profile& profile, UserInterface& ui, int fileType);

    QLineEdit* encoderEdit() const { return encoder_; }
    QPushButton* browseButton() const { return browse_; }
    QComboBox* parametersCombo() const { return parameters_; }
    QComboBox* extensionCombo() const { return extension_; }
    QComboBox* apeCombo() const { return ape_; }
    QComboBox* oggCombo() const { return ogg_; }
    QComboBox* flacCombo() const { return flac_; }
    void accept() override;

  private:
    Profile& profile_;
    UserInterface& ui_;
    int fileType_;
    QLineEdit* encoder_;
    QPushButton* browse_;
    QComboBox* parameters_;
    QComboBox* extension_;
    QComboBox* ape_;
    QComboBox* ogg_;
    QComboBox* flac_;
};

} // namespace tarnival
