#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarnival {

class Profile;

// "Select File Paths": where temporary files and output files go.
class PathsDialog : public QDialog {
  public:
    PathsDialog(QWidget* parent, Profile& profile);

    QRadioButton* tempButton(int mode) const; // ids::kTempSystem / kTempSameFolder / kTempUser
    QLineEdit* tempEdit() const { return tempEdit_; }
    QPushButton* tempBrowse() const { return tempBrowse_; }
    QRadioButton* outputSameButton() const { return outputSame_; }
    QRadioButton* outputUserButton() const { return outputUser_; }
    QLineEdit* outputEdit() const { return outputEdit_; }
    QPushButton* outputBrowse() const { return outputBrowse_; }
    QPushButton* okButton() const { return ok_; }

    void chooseTempMode(int mode);
    void chooseOutputUser(bool user);
    void accept() override;

  private:
    void updateState();

    Profile& profile_;
    int tempMode_;
    QString userTemp_;
    QRadioButton* temp_[3];
    QLineEdit* tempEdit_;
    QPushButton* tempBrowse_;
    QRadioButton* outputSame_;
    QRadioButton* outputUser_;
    QLineEdit* outputEdit_;
    QPushButton* outputBrowse_;
    QPushButton* ok_;
};

} // namespace tarnival
