#pragma once
#include <QDialog>

#include <string>
#include <vector>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tarnival {

class Profile;

// "Devices...": playback and record devices and the record volume control program.
class CDevicesDlg : public QDialog {
  public:
    // The device lists default to the system's; tests pass their own.
    CDevicesDlg(QWidget* parent, Profile& profile);
    CDevicesDlg(QWidget* parent, Profile& profile, const std::vector<std::string>& outputs,
                const std::vector<std::string>& inputs);

    QComboBox* playbackCombo() const { return playback_; }
    QComboBox* recordCombo() const { return record_; }
    QLineEdit* volumeEdit() const { return volume_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* defaultButton() const { return default_; }
    void accept() override;

  private:
    Profile& profile_;
    QComboBox* playback_;
    QComboBox* record_;
    QLineEdit* volume_;
    QPushButton* browse_;
    QPushButton* default_;
};

} // namespace tarnival
