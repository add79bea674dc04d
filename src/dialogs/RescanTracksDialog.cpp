#include "dialogs/RescanTracksDialog.h"
#include "dialogs/Dialogs.h"
#include "facade/Document.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarnival {

RescanTracksDialog::RescanTracksDialog(QWidget* parent, bool gapless) : QDialog(parent) {
    setWindowTitle("Re-Scan for Tracks");
    auto* box = new QGroupBox(this);
    auto* modeLayout = new QVBoxLayout(box);
    const char* names[3] = {"Auto-Detect", "User Assisted", "Remove All"};
    for (int i = 0; i < 3; ++i) {
        modes_[i] = new QRadioButton(names[i], box);
        modeLayout->addWidget(modes_[i]);
    }
    modes_[0]->setChecked(true);
    count_ = new QComboBox(this);
    for (int n = detection::kMinTarget; n <= detection::kMaxTarget; ++n)
        count_->addItem(QString::number(n));
    count_->setEnabled(false);
    connect(modes_[1], &QRadioButton::toggled, count_, &QWidget::setEnabled);
    auto* countRow = new QFormLayout;
    countRow->addRow("Target Track Count", count_);
    modeLayout->addLayout(countRow);
    gapless_ = new QCheckBox("Gapless Track Boundaries (Disk-At-Once)", this);
    gapless_->setChecked(gapless);
    auto* note =
        new QLabel(" All existing tracks will be deleted and new tracks will be generated", this);
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton("Scan", QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(gapless_);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

QRadioButton* RescanTracksDialog::modeButton(RescanMode mode) const {
    return modes_[static_cast<int>(mode)];
}

RescanChoice RescanTracksDialog::choice() const {
    RescanChoice c;
    c.mode = modes_[2]->isChecked()   ? RescanMode::RemoveAll
             : modes_[1]->isChecked() ? RescanMode::UserAssisted
                                      : RescanMode::AutoDetect;
    c.targetCount = count_->currentIndex() + detection::kMinTarget;
    c.gapless = gapless_->isChecked();
    return c;
}

bool showRescanTracksDialog(QWidget* parent, CMorvath3Doc& doc) {
    if (!doc.isLoaded() || !doc.scanned()) {
        doc.ui().beep();
        return false;
    }
    RescanTracksDialog dialog(parent, doc.tracks.gapless);
    if (dialog.exec() != QDialog::Accepted) return false;
    TrackContext ctx = doc.trackContext();
    RescanTracks(ctx, doc.overview.chunkLevels, dialog.choice());
    doc.observer().redraw();
    return true;
}

} // namespace tarnival
