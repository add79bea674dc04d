#include "dialogs/DevicesDialog.h"
#include "devices/DeviceList.h"
#include "dialogs/Dialogs.h"
#include "document/Settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnival {

CDevicesDlg::CDevicesDlg(QWidget* parent, Profile& profile)
    : CDevicesDlg(parent, profile, outputDeviceChoices(), inputDeviceChoices()) {}

CDevicesDlg::CDevicesDlg(QWidget* parent, Profile& profile, const std::vector<std::string>& outputs,
                         const std::vector<std::string>& inputs)
    : QDialog(parent), profile_(profile) {
    setWindowTitle("Devices");
    auto fill = [this](const std::vector<std::string>& names, int current) {
        auto* combo = new QComboBox(this);
        for (const std::string& n : names) combo->addItem(QString::fromStdString(n));
        // A device that has gone since it was chosen shows as the default one.
        int index = current + 1;
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : 0);
        combo->setMinimumWidth(320);
        return combo;
    };
    playback_ = fill(outputs, get(profile, settings::kOutputDevice));
    record_ = fill(inputs, get(profile, settings::kInputDevice));
    auto* form = new QFormLayout;
    form->addRow("Playback Device", playback_);
    form->addRow("Record Device", record_);

    auto* volumeBox = new QGroupBox("Record Volume Control", this);
    volume_ = new QLineEdit(QString::fromStdString(get(profile, settings::kVolControl)), volumeBox);
    browse_ = new QPushButton("Browse", volumeBox);
    default_ = new QPushButton("Default", volumeBox);
    auto* volumeLayout = new QHBoxLayout(volumeBox);
    volumeLayout->addWidget(volume_, 1);
    volumeLayout->addWidget(browse_);
    volumeLayout->addWidget(default_);
    connect(browse_, &QPushButton::clicked, this, [this] {
        QString path = QFileDialog::getOpenFileName(
            this, "Select an alternative Record Volume Control Applet", "/usr/bin");
        if (!path.isEmpty()) volume_->setText(path);
    });
    connect(default_, &QPushButton::clicked, this,
            [this] { volume_->setText(settings::kVolControl.fallback); });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(volumeBox);
    layout->addWidget(buttons);
}

void CDevicesDlg::accept() {
    set(profile_, settings::kInputDevice, record_->currentIndex() - 1);
    set(profile_, settings::kOutputDevice, playback_->currentIndex() - 1);
    set(profile_, settings::kVolControl, volume_->text().trimmed().toStdString());
    QDialog::accept();
}

bool showDevicesDialog(QWidget* parent, Profile& profile) {
    CDevicesDlg dialog(parent, profile);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace tarnival
