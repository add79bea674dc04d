#include "dialogs/PathsDialog.h"
#include "dialogs/Dialogs.h"
#include "document/Settings.h"
#include "document/TempFiles.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarnival {

namespace {
constexpr int kModes[3] = {ids::kTempSystem, ids::kTempSameFolder, ids::kTempUser};

QString browseFolder(QWidget* parent, const QString& title, const QString& start) {
    QString chosen = QFileDialog::getExistingDirectory(parent, title, start);
    while (chosen.size() > 1 && chosen.endsWith('/')) chosen.chop(1);
    return chosen;
}
} // namespace

PathsDialog::PathsDialog(QWidget* parent, Profile& profile)
    : QDialog(parent), profile_(profile), tempMode_(get(profile, settings::kTempMode)) {
    setWindowTitle("Select File Paths");
    if (tempMode_ != ids::kTempSameFolder && tempMode_ != ids::kTempUser)
        tempMode_ = ids::kTempSystem;
    userTemp_ = QString::fromStdString(get(profile, settings::kTempPath));

    auto* tempBox = new QGroupBox("Folder for Temporary Files", this);
    static const char* tempLabels[3] = {"Use System TEMP Folder", "Use Same Folder as Input File",
                                        "User Defined"};
    auto* tempLayout = new QGridLayout(tempBox);
    for (int i = 0; i < 3; ++i) {
        temp_[i] = new QRadioButton(tempLabels[i], tempBox);
        tempLayout->addWidget(temp_[i], i, 0, 1, 2);
        connect(temp_[i], &QRadioButton::clicked, this, [this, i] { chooseTempMode(kModes[i]); });
    }
    tempEdit_ = new QLineEdit(tempBox);
    tempEdit_->setMinimumWidth(320);
    tempBrowse_ = new QPushButton("Browse", tempBox);
    tempLayout->addWidget(tempEdit_, 3, 0);
    tempLayout->addWidget(tempBrowse_, 3, 1);
    connect(tempEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        userTemp_ = text;
        updateState();
    });
    connect(tempBrowse_, &QPushButton::clicked, this, [this] {
        QString chosen =
            browseFolder(this, "Select a folder for temporary files", tempEdit_->text());
        if (chosen.isEmpty()) return;
        userTemp_ = chosen;
        updateState();
    });

    auto* outBox = new QGroupBox("Folder for Output Files", this);
    auto* outLayout = new QGridLayout(outBox);
    outputSame_ = new QRadioButton("Use Same Folder as Input File", outBox);
    outputUser_ = new QRadioButton("User Defined", outBox);
    outputEdit_ =
        new QLineEdit(QString::fromStdString(get(profile, settings::kOutputPath)), outBox);
    outputBrowse_ = new QPushButton("Browse", outBox);
    outLayout->addWidget(outputSame_, 0, 0, 1, 2);
    outLayout->addWidget(outputUser_, 1, 0, 1, 2);
    outLayout->addWidget(outputEdit_, 2, 0);
    outLayout->addWidget(outputBrowse_, 2, 1);
    connect(outputSame_, &QRadioButton::clicked, this, [this] { chooseOutputUser(false); });
    connect(outputUser_, &QRadioButton::clicked, this, [this] { chooseOutputUser(true); });
    connect(outputEdit_, &QLineEdit::textEdited, this, [this] { updateState(); });
    connect(outputBrowse_, &QPushButton::clicked, this, [this] {
        QString chosen =
            browseFolder(this, "Select a folder for Tarnival's Output files", outputEdit_->text());
        if (!chosen.isEmpty()) outputEdit_->setText(chosen);
        updateState();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tempBox);
    layout->addWidget(outBox);
    layout->addWidget(buttons);

    (outputEdit_->text().isEmpty() ? outputSame_ : outputUser_)->setChecked(true);
    chooseTempMode(tempMode_);
}

QRadioButton* PathsDialog::tempButton(int mode) const {
    for (int i = 0; i < 3; ++i)
        if (kModes[i] == mode) return temp_[i];
    return temp_[0];
}

void PathsDialog::chooseTempMode(int mode) {
    tempMode_ = mode;
    tempButton(mode)->setChecked(true);
    updateState();
}

void PathsDialog::chooseOutputUser(bool user) {
    (user ? outputUser_ : outputSame_)->setChecked(true);
    if (!user) outputEdit_->clear();
    updateState();
}

void PathsDialog::updateState() {
    const bool user = tempMode_ == ids::kTempUser;
    // The chosen mode's folder is shown; only a user-defined one can be typed.
    QString shown = user ? userTemp_
                    : tempMode_ == ids::kTempSameFolder
                        ? QDir::currentPath()
                        : QString::fromStdString(systemTempFolder());
    if (tempEdit_->text() != shown) tempEdit_->setText(shown);
    tempEdit_->setEnabled(user);
    tempBrowse_->setEnabled(user);
    const bool outUser = outputUser_->isChecked();
    outputEdit_->setEnabled(outUser);
    outputBrowse_->setEnabled(outUser);
    ok_->setEnabled(!(user && userTemp_.trimmed().isEmpty()) &&
                    !(outUser && outputEdit_->text().trimmed().isEmpty()));
}

void PathsDialog::accept() {
    set(profile_, settings::kTempMode, tempMode_);
    if (tempMode_ == ids::kTempUser)
        set(profile_, settings::kTempPath, userTemp_.trimmed().toStdString());
    set(profile_, settings::kOutputPath,
        outputUser_->isChecked() ? outputEdit_->text().trimmed().toStdString() : std::string());
    QDialog::accept();
}

bool showPathsDialog(QWidget* parent, Profile& profile) {
    PathsDialog dialog(parent, profile);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace tarnival
