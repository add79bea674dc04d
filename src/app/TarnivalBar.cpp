#include "app/TarnivalBar.h"

#include "audio/PlaybackEngine.h"
#include "views/Icons.h"
#include "views/ViewGeometry.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

namespace tarnival {

namespace {
QWidget* labelled(QWidget* parent, QLabel* label, QWidget* control) {
    auto* box = new QWidget(parent);
    auto* layout = new QHBoxLayout(box);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->addWidget(label);
    layout->addWidget(control);
    return box;
}
} // namespace

TarnivalBar::TarnivalBar(QWidget* parent) : QToolBar("Control Bar", parent) {
    setObjectName("TarnivalBar");
    vertical_ = new StepSpin(this);
    vertical_->setRange(1, int(view::kVerticalScales.size()));
    vertical_->stepText = [](int i) {
        return QString::number(view::kVerticalScales[size_t(i - 1)]);
    };
    vertical_->setValue(view::kDefaultVerticalIndex);
    vertical_->setFixedWidth(70);
    addWidget(labelled(this, new QLabel("V mV/Div", this), vertical_));

    hLabel_ = new QLabel("H Smp/Div", this);
    horizontal_ = new StepSpin(this);
    horizontal_->setRange(1, view::kFineSteps);
    horizontal_->stepText = [](int i) { return QString::number(view::fineScale(44100, i)); };
    horizontal_->setValue(view::kDefaultFineIndex);
    horizontal_->setFixedWidth(90);
    addWidget(labelled(this, hLabel_, horizontal_));

    traceSep_ = new QSpinBox(this);
    traceSep_->setRange(0, 8);
    traceSep_->setValue(2);
    addWidget(labelled(this, new QLabel("Trace Sep", this), traceSep_));

    left_ = new QCheckBox("L", this);
    right_ = new QCheckBox("R", this);
    left_->setIcon(themeIcon("audio-speakers"));
    right_->setIcon(themeIcon("audio-speakers"));
    left_->setToolTip("Left channel shown and played");
    right_->setToolTip("Right channel shown and played");
    left_->setChecked(true);
    right_->setChecked(true);
    addWidget(left_);
    addWidget(right_);

    cursor_ = new QLineEdit(this);
    cursor_->setReadOnly(true);
    cursor_->setFocusPolicy(Qt::NoFocus);
    cursor_->setFixedWidth(QFontMetrics(cursor_->font()).horizontalAdvance("-00:00:000") + 16);
    addWidget(labelled(this, new QLabel("Cursor Position", this), cursor_));

    speed_ = new QSlider(Qt::Horizontal, this);
    speed_->setRange(1, kSpeedPositions);
    speed_->setValue(1);
    speed_->setPageStep(1);
    speed_->setFixedWidth(100);
    speed_->setFocusPolicy(Qt::NoFocus);
    speedLabel_ = new QLabel(this);
    addWidget(labelled(this, speedLabel_, speed_));
    showSpeed(1);

    for (QSpinBox* s :
         {static_cast<QSpinBox*>(vertical_), static_cast<QSpinBox*>(horizontal_), traceSep_})
        s->setFocusPolicy(Qt::ClickFocus);
    connect(vertical_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!quiet_) emit verticalChanged(v);
    });
    connect(horizontal_, &QSpinBox::valueChanged, this, [this](int v) {
        if (!quiet_) emit horizontalChanged(v);
    });
    connect(traceSep_, &QSpinBox::valueChanged, this, &TarnivalBar::traceSepChanged);
    auto channels = [this] { emit channelsChanged(left_->isChecked(), right_->isChecked()); };
    connect(left_, &QCheckBox::toggled, this, channels);
    connect(right_, &QCheckBox::toggled, this, channels);
    connect(speed_, &QSlider::valueChanged, this, [this](int v) {
        showSpeed(v);
        if (!quiet_) emit speedChanged(v);
    });
}

void TarnivalBar::setHorizontal(const QString& caption, int index, int maximum,
                                std::function<QString(int)> text) {
    quiet_ = true;
    hLabel_->setText(caption);
    horizontal_->stepText = std::move(text);
    horizontal_->setRange(1, maximum);
    horizontal_->setValue(index);
    horizontal_->refreshText();
    quiet_ = false;
}

void TarnivalBar::setCursorText(const QString& text) {
    cursor_->setText(text);
}

void TarnivalBar::setSpeedPosition(int position) {
    quiet_ = true;
    speed_->setValue(position);
    showSpeed(position);
    quiet_ = false;
}

void TarnivalBar::showSpeed(int position) {
    speedLabel_->setText(QString::fromStdString(tarnival::speedLabel(position)));
    speedLabel_->setStyleSheet(position == 1 ? QString() : QString("color: red"));
}

} // namespace tarnival
