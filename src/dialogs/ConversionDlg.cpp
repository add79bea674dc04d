#include "dialogs/ConversionDlg.h"
#include "devices/QtAudioInput.h"
#include "devices/VolumeControl.h"
#include "dialogs/Dialogs.h"
#include "document/Settings.h"
#include "document/UserInterface.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace tarnival {

namespace {
constexpr int kRates[2] = {44100, 48000};
constexpr int kConversions[3] = {ids::kConvertNone, ids::kConvert78, ids::kConvertCustom};
constexpr int kModes[3] = {ids::kRecManual, ids::kRecAuto, ids::kRecTimed};
constexpr int kLampSize = 10;
constexpr int kLabelWidth = 14;

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

int minuteOf(const QTimeEdit* edit) {
    return edit->time().hour() * 60 + edit->time().minute();
}

QTime timeOf(int minutes) {
    return QTime((minutes / 60) % 24, minutes % 60);
}

QColor colourOf(MeterColour c) {
    uint32_t rgb = meterRgb(c);
    return QColor((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
} // namespace

// ---- MeterWidget ----------------------------------------------------------------------------

MeterWidget::MeterWidget(QWidget* parent, Recorder& recorder)
    : QWidget(parent), recorder_(recorder) {
    setMinimumSize(240, 50);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

int MeterWidget::barWidth() const {
    return std::max(20, width() - kLabelWidth - kLampSize - 10);
}

void MeterWidget::resizeEvent(QResizeEvent* event) {
    recorder_.setMeterWidth(barWidth());
    QWidget::resizeEvent(event);
}

void MeterWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(24, 24, 24));
    const LevelMeter& m = recorder_.meter();
    const int w = barWidth();
    const int barHeight = (height() - 18) / 2;
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
    p.setFont(small);
    for (int c = 0; c < 2; ++c) {
        const int y = 4 + c * (barHeight + 2);
        p.setPen(Qt::lightGray);
        p.drawText(QRect(0, y, kLabelWidth, barHeight), Qt::AlignCenter, c == 0 ? "L" : "R");
        const int x0 = kLabelWidth;
        p.fillRect(QRect(x0, y, w, barHeight), QColor(50, 50, 50));
        // Each stretch of the bar in the colour its length has reached.
        const int len = std::min(m.bar(c), w);
        const int edges[4] = {w * 430 / 640, w * 530 / 640, w * 625 / 640, w};
        const MeterColour colours[4] = {MeterColour::Green, MeterColour::Yellow,
                                        MeterColour::Orange, MeterColour::Red};
        int from = 0;
        for (int k = 0; k < 4 && from < len; ++k) {
            int to = std::min(len, edges[k]);
            if (to > from)
                p.fillRect(QRect(x0 + from, y, to - from, barHeight), colourOf(colours[k]));
            from = to;
        }
        const int hold = std::min(m.hold(c), w);
        if (hold > 0) p.fillRect(QRect(x0 + hold - 2, y, 2, barHeight), QColor(60, 120, 255));
        // The overload lamp.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(m.overload(c) ? QColor(255, 30, 30) : QColor(80, 30, 30));
        p.drawEllipse(QRect(x0 + w + 6, y + (barHeight - kLampSize) / 2, kLampSize, kLampSize));
        p.setRenderHint(QPainter::Antialiasing, false);
    }
    // The dB scale under the bars, at the meter's own mapping.
    p.setPen(Qt::lightGray);
    const int scaleY = 4 + 2 * (barHeight + 2);
    for (int db : {-40, -30, -20, -10, -6, -3, 0}) {
        int x = kLabelWidth + meterLength(db * 10, w);
        p.drawLine(x, scaleY, x, scaleY + 3);
        p.drawText(QRect(x - 14, scaleY + 2, 28, 12), Qt::AlignCenter, QString::number(db));
    }
}

// ---- CConversionDlg -------------------------------------------------------------------------

CConversionDlg::CConversionDlg(QWidget* parent, Profile& profile, UserInterface& ui,
                               AudioInput& input, const std::string& path, bool replaceExisting)
    : QDialog(parent), profile_(profile), ui_(ui),
      recorder_(std::make_unique<Recorder>(input, ui)) {
    recorder_->setObserver(this);
    meter_ = new MeterWidget(this, *recorder_);

    auto* rateBox = new QGroupBox("Sample Rate", this);
    auto* rateLayout = new QVBoxLayout(rateBox);
    const char* rateNames[2] = {" 4&4.1kHz (Default) ", " 4&8.0kHz "};
    for (int i = 0; i < 2; ++i) {
        rates_[i] = new QRadioButton(rateNames[i], rateBox);
        rateLayout->addWidget(rates_[i]);
        connect(rates_[i], &QRadioButton::clicked, this, [this, i] { chooseRate(kRates[i]); });
    }
    auto* convBox = new QGroupBox("Speed Conversion", this);
    auto* convLayout = new QVBoxLayout(convBox);
    const char* convNames[3] = {" &No Conversion (Default) ", " &78/45 Conversion ",
                                " Custo&m Conversion (0.674:1) "};
    for (int i = 0; i < 3; ++i) {
        conversions_[i] = new QRadioButton(convNames[i], convBox);
        convLayout->addWidget(conversions_[i]);
        connect(conversions_[i], &QRadioButton::clicked, this,
                [this, i] { chooseConversion(kConversions[i]); });
    }
    auto* modeBox = new QGroupBox("Start/Stop Mode", this);
    auto* modeLayout = new QGridLayout(modeBox);
    const char* modeNames[3] = {"M&anual", "Auto on Si&gnal", "&Timed"};
    for (int i = 0; i < 3; ++i) {
        modes_[i] = new QRadioButton(modeNames[i], modeBox);
        modeLayout->addWidget(modes_[i], i, 0, 1, 3);
        connect(modes_[i], &QRadioButton::clicked, this, [this, i] { chooseMode(kModes[i]); });
    }
    auto timeEdit = [this, modeBox] {
        auto* e = new QTimeEdit(modeBox);
        e->setDisplayFormat("HH:mm");
        e->setMinimumWidth(fontMetrics().horizontalAdvance("-----") + 40);
        return e;
    };
    duration_ = timeEdit();
    delayed_ = new QCheckBox("De&layed Start", modeBox);
    start_ = timeEdit();
    stop_ = timeEdit();
    startNextDay_ = new QLabel("+1 day", modeBox);
    stopNextDay_ = new QLabel("+1 day", modeBox);
    for (QLabel* l : {startNextDay_, stopNextDay_}) l->setStyleSheet("color: #a05000");
    auto buddy = [modeBox](const char* text, QWidget* field) {
        auto* label = new QLabel(text, modeBox);
        label->setBuddy(field);
        return label;
    };
    modeLayout->addWidget(buddy("D&uration", duration_), 3, 0);
    modeLayout->addWidget(duration_, 3, 1);
    modeLayout->addWidget(delayed_, 4, 0, 1, 3);
    modeLayout->addWidget(buddy("Start T&ime", start_), 5, 0);
    modeLayout->addWidget(start_, 5, 1);
    modeLayout->addWidget(startNextDay_, 5, 2);
    modeLayout->addWidget(buddy("Stop Tim&e", stop_), 6, 0);
    modeLayout->addWidget(stop_, 6, 1);
    modeLayout->addWidget(stopNextDay_, 6, 2);
    connect(duration_, &QTimeEdit::timeChanged, this, [this] { timesEdited(0); });
    connect(start_, &QTimeEdit::timeChanged, this, [this] { timesEdited(1); });
    connect(stop_, &QTimeEdit::timeChanged, this, [this] { timesEdited(2); });
    connect(delayed_, &QCheckBox::toggled, this, [this](bool on) {
        if (refreshing_) return;
        recorder_->setDelayedStart(on);
        refresh();
    });

    auto* buttons = new QVBoxLayout;
    const std::pair<const char*, const char*> buttonNames[7] = {
        {"record", "&Record"},     {"stop", "&Stop"},
        {"override", "&Override"}, {"clearPeak", "Clear Pea&k"},
        {"volume", "Set &Volume"}, {"scan", "Scan No&w"},
        {"done", "&Done"}};
    for (const auto& [name, text] : buttonNames) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setAutoDefault(false);
        buttons->addWidget(b);
        if (std::string(name) == "scan") buttons->addStretch(1);
    }
    connect(button("record"), &QPushButton::clicked, this, [this] { recorder_->record(); });
    connect(button("stop"), &QPushButton::clicked, this, [this] { recorder_->stop(); });
    connect(button("override"), &QPushButton::clicked, this, [this] { recorder_->override(); });
    connect(button("clearPeak"), &QPushButton::clicked, this, [this] { recorder_->clearPeak(); });
    connect(button("volume"), &QPushButton::clicked, this, [this] {
        std::string error;
        if (!startVolumeControl(get(profile_, settings::kVolControl), error)) ui_.message(error);
    });
    connect(button("scan"), &QPushButton::clicked, this, [this] {
        scan_ = true;
        accept();
    });
    connect(button("done"), &QPushButton::clicked, this, &QDialog::accept);
    button("done")->setToolTip(Recorder::doneTip());

    status_ = new QLabel(this);
    time_ = new QLabel(this);
    time_->setMinimumWidth(fontMetrics().horizontalAdvance(
                               "Time Recorded: 10:00:00;     Time Remaining: 10:00:00 (max)") +
                           20);
    peak_ = new QLabel(this);
    device_ = new QLabel(this);
    lowSpace_ = new QLabel(this);
    lowSpace_->setStyleSheet("color: #b00000");
    auto* lines = new QFormLayout;
    lines->addRow(status_);
    lines->addRow(time_);
    lines->addRow(peak_);
    lines->addRow(device_);
    lines->addRow(lowSpace_);

    auto* settingsColumn = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    top->addWidget(rateBox);
    top->addWidget(convBox);
    settingsColumn->addLayout(top);
    settingsColumn->addWidget(modeBox);
    auto* middle = new QHBoxLayout;
    middle->addLayout(settingsColumn, 1);
    middle->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(meter_);
    layout->addLayout(middle);
    layout->addLayout(lines);

    recorder_->setSettings(loadRecorderSettings(profile));
    // Without the file there is nothing to record into; a device that fails to open has said
    // why, and a change of rate or conversion tries it again.
    ready_ = recorder_->createFile(path, replaceExisting);
    if (ready_) recorder_->openDevice();
    refresh();
}

CConversionDlg::~CConversionDlg() {
    recorder_->setObserver(nullptr);
    recorder_->close();
}

QPushButton* CConversionDlg::button(const QString& name) const {
    return findChild<QPushButton*>(name);
}

QRadioButton* CConversionDlg::rateButton(int rate) const {
    return rates_[rate == 48000 ? 1 : 0];
}

QRadioButton* CConversionDlg::conversionButton(int convertMode) const {
    for (int i = 0; i < 3; ++i)
        if (kConversions[i] == convertMode) return conversions_[i];
    return conversions_[0];
}

QRadioButton* CConversionDlg::modeButton(int mode) const {
    for (int i = 0; i < 3; ++i)
        if (kModes[i] == mode) return modes_[i];
    return modes_[0];
}

void CConversionDlg::recorderChanged() {
    refresh();
    meter_->update();
}

void CConversionDlg::refresh() {
    if (refreshing_) return;
    refreshing_ = true;
    const Recorder& r = *recorder_;
    const RecorderSettings& s = r.settings();
    setWindowTitle(q(r.titleText()));
    rateButton(s.rate)->setChecked(true);
    conversionButton(s.convertMode)->setChecked(true);
    // The button names the ratio that would be used, including the stored default.
    conversions_[2]->setText(q(customConversionLabel(s.convertRatio)));
    modeButton(s.mode)->setChecked(true);
    const bool idle = r.controlsEnabled();
    for (QRadioButton* b : rates_) b->setEnabled(idle);
    for (QRadioButton* b : conversions_) b->setEnabled(idle);
    for (QRadioButton* b : modes_) b->setEnabled(idle);
    const bool timed = s.mode == ids::kRecTimed;
    const bool delayed = r.delayedStart();
    duration_->setEnabled(idle && timed);
    delayed_->setEnabled(idle && timed);
    delayed_->setChecked(delayed);
    const TimedSchedule& schedule = r.schedule();
    duration_->setMaximumTime(timeOf(std::min(schedule.maxDuration(), kMinutesPerDay - 1)));
    duration_->setTime(timeOf(schedule.duration()));
    for (QTimeEdit* e : {start_, stop_}) {
        e->setEnabled(idle && timed && delayed);
        e->setSpecialValueText(delayed ? QString() : QString("-----"));
    }
    start_->setTime(delayed ? timeOf(schedule.start()) : QTime(0, 0));
    stop_->setTime(delayed ? timeOf(schedule.stop()) : QTime(0, 0));
    startNextDay_->setVisible(delayed && r.startIsNextDay());
    stopNextDay_->setVisible(delayed && r.stopIsNextDay());

    QPushButton* record = button("record");
    record->setText(q(r.recordButtonText()));
    record->setToolTip(q(r.recordTip()));
    record->setEnabled(ready_ && r.recordEnabled());
    button("stop")->setEnabled(r.stopEnabled());
    button("override")->setEnabled(r.overrideEnabled());
    button("override")->setToolTip(q(r.overrideTip()));
    button("scan")->setEnabled(r.scanEnabled());
    status_->setText(q(r.statusText()));
    time_->setText(q(r.timeText()).replace("\t\t", "     "));
    peak_->setText(q(r.peakText()));
    device_->setText(q(r.deviceText()));
    lowSpace_->setText(q(r.lowSpaceText()));
    lowSpace_->setVisible(!r.lowSpaceText().empty());
    refreshing_ = false;
}

void CConversionDlg::chooseRate(int rate) {
    recorder_->setRate(rate);
    refresh();
}

void CConversionDlg::chooseConversion(int mode) {
    if (mode == ids::kConvertCustom && recorder_->settings().convertMode == ids::kConvertCustom) {
        bool ok = false;
        double ratio =
            QInputDialog::getDouble(this, "Custom Conversion", "Speed ratio (n:1)",
                                    recorder_->settings().convertRatio / 1000.0,
                                    kMinConvertRatio / 1000.0, kMaxConvertRatio / 1000.0, 3, &ok);
        if (ok && recorder_->setCustomRatio(static_cast<int>(std::lround(ratio * 1000))))
            set(profile_, settings::kConvertRatio, recorder_->settings().convertRatio);
    } else {
        recorder_->setConversion(mode);
    }
    refresh();
}

void CConversionDlg::chooseMode(int mode) {
    recorder_->setMode(mode);
    refresh();
}

void CConversionDlg::timesEdited(int which) {
    if (refreshing_) return;
    if (which == 0) recorder_->setDurationMinutes(minuteOf(duration_));
    if (which == 1 && recorder_->delayedStart()) recorder_->setStartTime(minuteOf(start_));
    if (which == 2 && recorder_->delayedStart()) recorder_->setStopTime(minuteOf(stop_));
    refresh();
}

void CConversionDlg::done(int result) {
    const RecorderSettings s = recorder_->settings();
    storeRecorderSettings(profile_, s,
                          s.mode == ids::kRecTimed && result == QDialog::Accepted && !scan_);
    recorder_->close();
    QDialog::done(result);
}

std::optional<std::string> showRecordDialog(QWidget* parent, Profile& profile, UserInterface& ui,
                                            const std::string& path, bool replaceExisting) {
    QtAudioInput input;
    CConversionDlg dialog(parent, profile, ui, input, path, replaceExisting);
    if (!dialog.ready()) return std::nullopt;
    dialog.exec();
    if (!dialog.scanRequested()) return std::nullopt;
    return path;
}

std::optional<std::string> recordNewWaveFile(QWidget* parent, Profile& profile, UserInterface& ui) {
    QFileDialog files(parent, "Record a New File... Enter a File Name",
                      QString::fromStdString(recordFolder(profile)), "Wave Files (*.wav)");
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setDefaultSuffix("wav");
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty()) return std::nullopt;
    const std::string path = files.selectedFiles().first().toStdString();
    storeRecordFolder(profile, path);
    // The file dialog has asked before an existing file may be replaced.
    const bool replace = QFileInfo::exists(QString::fromStdString(path));
    return showRecordDialog(parent, profile, ui, path, replace);
}

} // namespace tarnival
