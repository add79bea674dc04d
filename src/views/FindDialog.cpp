#include "views/FindDialog.h"

#include "document/Settings.h"
#include "views/EntryNavigation.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tarnival {

namespace {
// Button identifiers are the criteria they select; the custom limit has its own.
constexpr int kCustomButton = 1000;
} // namespace

FindDialog::FindDialog(Profile& profile, int criterion, QWidget* parent)
    : QDialog(parent), profile_(profile), criterion_(criterion) {
    setWindowTitle("Find Correction");
    group_ = new QButtonGroup(this);
    auto* box = new QGroupBox("Find ccrrections meeting these criteria:", this);
    auto* grid = new QGridLayout(box);
    auto radio = [&](const QString& text, int id, int row) {
        auto* b = new QRadioButton(text, box);
        group_->addButton(b, id);
        grid->addWidget(b, row, 0);
        return b;
    };
    radio("Magnitude 30+ (red)", 30, 0);
    radio("Magnitude 15+ (red/yellow)", 15, 1);
    radio("Custom Limit", kCustomButton, 2);
    custom_ = new QLineEdit(QString::number(get(profile_, settings::kFindMag)), box);
    custom_->setValidator(new QIntValidator(0, 999, custom_));
    grid->addWidget(custom_, 2, 1);
    radio("User Cor.  (lt blue)", -2, 3);
    radio("Cue Marker (white)", -1, 4);
    radio("Cut Marker (dk blue)", -8, 5);
    radio("Timed Jump", view::kFindByTime, 6);
    time_ =
        new QLineEdit(QString::number(get(profile_, settings::kFindTime) / 1000.0, 'g', 4), box);
    grid->addWidget(time_, 6, 1);
    auto* presets = new QGroupBox("Pre-Sets", box);
    auto* presetRow = new QHBoxLayout(presets);
    for (const char* rpm : {"33", "45", "78"}) {
        auto* b = new QPushButton(rpm, presets);
        presetRow->addWidget(b);
        const QString seconds = QString(rpm) == "33"   ? "1.818"
                                : QString(rpm) == "45" ? "1.333"
                                                       : "0.77";
        connect(b, &QPushButton::clicked, this, [this, seconds] { choosePreset(seconds); });
    }
    grid->addWidget(presets, 7, 0, 1, 2);

    int chosen = criterion_;
    if (chosen >= 0 && chosen != 30 && chosen != 15) chosen = kCustomButton;
    if (QAbstractButton* b = group_->button(chosen))
        b->setChecked(true);
    else
        group_->button(30)->setChecked(true);
    connect(group_, &QButtonGroup::idToggled, this, [this](int, bool) { enableEdits(); });
    enableEdits();

    auto* next = new QPushButton("Find Next", this);
    auto* previous = new QPushButton("Find Previous", this);
    auto* cancel = new QPushButton("Cancel", this);
    next->setDefault(true);
    connect(next, &QPushButton::clicked, this, [this] { finish(true); });
    connect(previous, &QPushButton::clicked, this, [this] { finish(false); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addLayout(buttons);
}

void FindDialog::choosePreset(const QString& seconds) {
    group_->button(view::kFindByTime)->setChecked(true);
    time_->setText(seconds);
}

void FindDialog::enableEdits() {
    custom_->setEnabled(group_->checkedId() == kCustomButton);
    time_->setEnabled(group_->checkedId() == view::kFindByTime);
}

void FindDialog::finish(bool forward) {
    forward_ = forward;
    const int id = group_->checkedId();
    if (id == kCustomButton) {
        int mag = std::min(custom_->text().toInt(), 30);
        custom_->setText(QString::number(mag));
        set(profile_, settings::kFindMag, mag);
        criterion_ = mag;
    } else if (id == view::kFindByTime) {
        double seconds = std::clamp(time_->text().toDouble(), 0.0, 10.0);
        if (seconds <= 0) {
            seconds = 0.001;
            time_->setText("0.001");
        }
        set(profile_, settings::kFindTime, int(std::lround(seconds * 1000)));
        criterion_ = view::kFindByTime;
    } else {
        criterion_ = id;
    }
    accept();
}

ListDialog::ListDialog(Profile& profile, QWidget* parent) : QDialog(parent), profile_(profile) {
    setWindowTitle("Correction List");
    group_ = new QButtonGroup(this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(
        new QLabel("Specify which corrections will be displayed in the correction list.", this));
    auto radio = [&](const QString& text, int id) {
        auto* b = new QRadioButton(text, this);
        group_->addButton(b, id);
        return b;
    };
    layout->addWidget(radio("All Corrections", 1149));
    layout->addWidget(radio("30+ (red)", 1163));
    layout->addWidget(radio("15+ (yelllow/red)", 1164));
    auto* row = new QHBoxLayout;
    row->addWidget(radio("Custom Limit", 1165));
    magnitude_ = new QLineEdit(QString::number(get(profile_, settings::kListMag)), this);
    magnitude_->setValidator(new QIntValidator(0, 999, magnitude_));
    row->addWidget(magnitude_);
    layout->addLayout(row);
    const int sel = get(profile_, settings::kListSel);
    (group_->button(sel) ? group_->button(sel) : group_->button(1165))->setChecked(true);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(box, &QDialogButtonBox::accepted, this, &ListDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(box);
}

void ListDialog::accept() {
    set(profile_, settings::kListSel, group_->checkedId());
    set(profile_, settings::kListMag, magnitude_->text().toInt());
    QDialog::accept();
}

} // namespace tarnival
