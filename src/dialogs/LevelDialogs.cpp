#include "dialogs/LevelDialogs.h"
#include "dialogs/Dialogs.h"
#include "dsp/Levels.h"
#include "facade/Document.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace tarnival {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QHBoxLayout* confirmRow(QDialog* dialog, QPushButton* confirm) {
    auto* cancel = new QPushButton("Cancel", dialog);
    confirm->setDefault(true);
    QObject::connect(confirm, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(confirm);
    row->addWidget(cancel);
    return row;
}
} // namespace

NormaliseDialog::NormaliseDialog(QWidget* parent, int maxSample) : QDialog(parent) {
    setWindowTitle("Normalise Amplitude");
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setRange(-20, 0);
    slider_->setPageStep(1);
    slider_->setValue(-1);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(1);
    slider_->setMinimumWidth(300);
    level_ = new QLabel(q(NormaliseLabel(-1)), this);
    current_ = new QLabel(q(CurrentPeakText(maxSample)), this);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int v) { level_->setText(q(NormaliseLabel(v))); });
    normalise_ = new QPushButton("Normalise", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(current_);
    layout->addWidget(level_);
    layout->addWidget(slider_);
    layout->addLayout(confirmRow(this, normalise_));
}

int NormaliseDialog::peakDb() const {
    return slider_->value();
}

BalanceDialog::BalanceDialog(QWidget* parent, std::optional<double> estimate)
    : QDialog(parent), estimateRatio_(estimate) {
    setWindowTitle("Re-Balance Channels");
    group_ = new QGroupBox(q(BalanceCaption(0)), this);
    slider_ = new QSlider(Qt::Horizontal, group_);
    slider_->setRange(-6, 6);
    slider_->setSingleStep(1);
    slider_->setPageStep(1);
    slider_->setValue(0);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(1);
    slider_->setMinimumWidth(300);
    auto* scale = new QHBoxLayout;
    scale->addWidget(new QLabel("Left", group_));
    scale->addStretch(1);
    scale->addWidget(new QLabel("Right", group_));
    auto* groupLayout = new QVBoxLayout(group_);
    groupLayout->addWidget(slider_);
    groupLayout->addLayout(scale);
    connect(slider_, &QSlider::valueChanged, this,
            [this](int v) { group_->setTitle(q(BalanceCaption(v))); });
    estimate_ = new QLabel(q(BalanceEstimateText(estimate)), this);
    auto_ = new QCheckBox("Auto-Balance", this);
    auto_->setEnabled(estimate.has_value());
    connect(auto_, &QCheckBox::toggled, slider_, &QWidget::setDisabled);
    apply_ = new QPushButton("Apply", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group_);
    layout->addWidget(estimate_);
    layout->addWidget(auto_);
    layout->addLayout(confirmRow(this, apply_));
}

std::optional<double> BalanceDialog::ratio() const {
    if (auto_->isChecked()) return estimateRatio_;
    return BalanceRatio(slider_->value());
}

bool showNormaliseDialog(QWidget* parent, CMorvath3Doc& doc) {
    if (!doc.isLoaded()) {
        doc.ui().beep();
        return false;
    }
    const FrameFilter counts = doc.countedFrames();
    int max = FindMaxSample(doc.store, doc.ui(), doc.filters.levels, counts);
    NormaliseDialog dialog(parent, max);
    if (dialog.exec() != QDialog::Accepted) return false;
    if (!Normalise(doc.store, doc.ui(), doc.filters.levels, dialog.peakDb(), counts)) return false;
    doc.editor().invalidate();
    doc.modified = true;
    doc.observer().redraw();
    return true;
}

bool showBalanceDialog(QWidget* parent, CMorvath3Doc& doc) {
    if (!doc.isLoaded()) {
        doc.ui().beep();
        return false;
    }
    BalanceDialog dialog(parent, BalanceEstimate(doc.overview.levelSum, doc.overview.balanceSum,
                                                 doc.store.leftGain, doc.store.rightGain));
    if (dialog.exec() != QDialog::Accepted) return false;
    std::optional<double> ratio = dialog.ratio();
    if (!ratio) return false;
    if (!AdjustBalance(doc.store, doc.ui(), doc.filters.levels, *ratio, doc.countedFrames()))
        return false;
    doc.editor().invalidate();
    doc.modified = true;
    doc.observer().redraw();
    return true;
}

} // namespace tarnival
