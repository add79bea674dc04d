#include "dialogs/GraphDlg.h"
#include "dialogs/Dialogs.h"
#include "document/UserInterface.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace tarnival {

namespace {
constexpr int kScales[5] = {1, 2, 5, 10, 20};
constexpr int kHighestLevel = 100; // the deepest cut a point may ask for, in dB

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

void drawGridLabel(QPainter& p, const QRect& r, const QString& text, int flags) {
    p.drawText(r, flags, text);
}
} // namespace

// ---- GraphArea ------------------------------------------------------------------------------

GraphArea::GraphArea(QWidget* parent, GraphCurve& curve, int rate, UserInterface& ui)
    : QWidget(parent), curve_(curve), rate_(rate), ui_(ui) {
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(420, 220);
    setMouseTracking(false);
}

void GraphArea::setZoom(int zoom) {
    zoom_ = zoom;
    update();
}

void GraphArea::setDbPerDivision(int db) {
    dbPerDiv_ = db;
    update();
}

void GraphArea::setCurrent(int index) {
    current_ = std::clamp(index, 0, std::max(0, static_cast<int>(curve_.size()) - 1));
    update();
    if (moved_) moved_();
}

int GraphArea::binAt(int x) const {
    return std::clamp(((x - kLeftMargin) * 256) / zoom_ / plotWidth(), 0, 255);
}

int GraphArea::xOf(double bin) const {
    return kLeftMargin + static_cast<int>(std::lround(bin * zoom_ * plotWidth() / 256.0));
}

int GraphArea::zeroY() const {
    const int zeroDivisions = dbPerDiv_ >= 10 ? 1 : 2;
    return 2 + zeroDivisions * plotHeight() / kDivisions;
}

int GraphArea::yOf(double level) const {
    return zeroY() + static_cast<int>(std::lround(level * plotHeight() / (kDivisions * dbPerDiv_)));
}

int GraphArea::levelAt(int y) const {
    double level = static_cast<double>(y - zeroY()) * kDivisions * dbPerDiv_ / plotHeight();
    return std::clamp(static_cast<int>(std::lround(level)), kLowestLevel, kHighestLevel);
}

QString GraphArea::readout() const {
    if (curve_.empty()) return {};
    const GraphPoint& p = curve_[static_cast<size_t>(current_)];
    double khz = std::clamp(rate_ * static_cast<double>(p.x) / 511000.0, 0.0, rate_ / 2000.0);
    return QString::asprintf("Freq.: %3.2f   Level: %3.2f", khz, -static_cast<double>(p.level));
}

void GraphArea::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const int top = 2;
    const int h = plotHeight();
    const int right = kLeftMargin + plotWidth();
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.75));
    p.setFont(small);
    const int zeroDivisions = dbPerDiv_ >= 10 ? 1 : 2;

    // Level grid, labelled from the top value down (boosts above the 0 dB line).
    for (int i = 0; i <= kDivisions; ++i) {
        int y = top + i * h / kDivisions;
        p.setPen(QPen(i == zeroDivisions ? QColor(90, 90, 90) : QColor(215, 215, 215)));
        p.drawLine(kLeftMargin, y, right, y);
        p.setPen(Qt::darkGray);
        drawGridLabel(p, QRect(0, y - 7, kLeftMargin - 2, 14),
                      QString::asprintf("%d", (zeroDivisions - i) * dbPerDiv_),
                      Qt::AlignRight | Qt::AlignVCenter);
    }
    // Frequency grid: every 2 kHz, or every 0.2 kHz with the low end expanded.
    const double step = zoom_ == 1 ? 2000.0 : 200.0;
    for (int k = 1;; ++k) {
        double hz = k * step;
        if (hz > rate_ / 2.0) break;
        int x = xOf(hz * 512.0 / rate_);
        if (x > right) break;
        p.setPen(QColor(215, 215, 215));
        p.drawLine(x, top, x, top + h);
        p.setPen(Qt::darkGray);
        QString label = zoom_ == 1 ? QString::asprintf("%d", static_cast<int>(hz / 1000))
                                   : QString::asprintf("%3.1f", hz / 1000);
        // The axis name takes the right end.
        if (x < right - 36)
            drawGridLabel(p, QRect(x - 20, top + h + 1, 40, kBottomMargin), label, Qt::AlignCenter);
    }
    p.setPen(Qt::darkGray);
    drawGridLabel(p, QRect(0, top + h + 1, kLeftMargin + 10, kBottomMargin), "dB",
                  Qt::AlignLeft | Qt::AlignVCenter);
    drawGridLabel(p, QRect(right - 40, top + h + 1, 40, kBottomMargin), "kHz",
                  Qt::AlignRight | Qt::AlignVCenter);
    p.setPen(QColor(160, 160, 160));
    p.drawRect(kLeftMargin, top, plotWidth(), h);

    // The curve and its points.
    p.setClipRect(QRect(kLeftMargin, top, plotWidth() + 1, h + 1));
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    for (size_t i = 0; i < curve_.size(); ++i) {
        QPointF pt(xOf(curve_[i].x), yOf(curve_[i].level));
        i == 0 ? path.moveTo(pt) : path.lineTo(pt);
    }
    p.setPen(QPen(QColor(20, 80, 200), 2));
    p.drawPath(path);
    for (size_t i = 0; i < curve_.size(); ++i) {
        QPointF pt(xOf(curve_[i].x), yOf(curve_[i].level));
        bool cur = static_cast<int>(i) == current_;
        p.setPen(QPen(cur ? QColor(200, 30, 30) : QColor(20, 80, 200), 1));
        p.setBrush(cur ? QColor(200, 30, 30) : Qt::white);
        p.drawRect(QRectF(pt.x() - 3, pt.y() - 3, 6, 6));
    }
}

void GraphArea::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || curve_.empty()) return;
    const int x = static_cast<int>(event->position().x());
    const int bin = binAt(x);
    const int reach = zoom_ == 1 ? 3 : 1;
    int nearest = -1;
    int distance = reach + 1;
    for (int i = 0; i < static_cast<int>(curve_.size()); ++i) {
        int d = std::abs(curve_[static_cast<size_t>(i)].x - bin);
        if (d < distance) nearest = i, distance = d;
    }
    if (nearest < 0) {
        // Pressing away from every point draws a new one there.
        auto after = std::find_if(curve_.begin(), curve_.end(),
                                  [bin](const GraphPoint& g) { return g.x > bin; });
        if (after == curve_.begin() || after == curve_.end()) return;
        GraphPoint added;
        added.x = static_cast<uint8_t>(bin);
        added.level = static_cast<int16_t>(levelAt(static_cast<int>(event->position().y())));
        auto inserted = curve_.insert(after, added);
        nearest = static_cast<int>(inserted - curve_.begin());
        changed();
    }
    grabbed_ = true;
    setCurrent(nearest);
}

void GraphArea::mouseMoveEvent(QMouseEvent* event) {
    if (grabbed_)
        moveCurrent(static_cast<int>(event->position().x()),
                    static_cast<int>(event->position().y()));
}

void GraphArea::mouseReleaseEvent(QMouseEvent* event) {
    if (!grabbed_) return;
    moveCurrent(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()));
    grabbed_ = false;
}

void GraphArea::moveCurrent(int x, int y) {
    GraphPoint& g = curve_[static_cast<size_t>(current_)];
    const int last = static_cast<int>(curve_.size()) - 1;
    GraphPoint moved = g;
    // The end points stay at the ends; the others stay between their neighbours.
    if (current_ > 0 && current_ < last) {
        int low = curve_[static_cast<size_t>(current_ - 1)].x + 1;
        int high = curve_[static_cast<size_t>(current_ + 1)].x - 1;
        if (low <= high) moved.x = static_cast<uint8_t>(std::clamp(binAt(x), low, high));
    }
    moved.level = static_cast<int16_t>(levelAt(y));
    if (moved == g) return;
    g = moved;
    changed();
    if (moved_) moved_();
}

void GraphArea::keyPressEvent(QKeyEvent* event) {
    const int last = static_cast<int>(curve_.size()) - 1;
    switch (event->key()) {
    case Qt::Key_Delete:
        if (current_ > 0 && current_ < last) {
            curve_.erase(curve_.begin() + current_);
            changed();
            setCurrent(current_ - 1);
        } else {
            ui_.beep();
        }
        return;
    case Qt::Key_Insert: {
        if (current_ == 0 ||
            curve_[static_cast<size_t>(current_)].x - curve_[static_cast<size_t>(current_ - 1)].x <
                2) {
            ui_.beep();
            return;
        }
        const GraphPoint& a = curve_[static_cast<size_t>(current_ - 1)];
        const GraphPoint& b = curve_[static_cast<size_t>(current_)];
        GraphPoint mid;
        mid.x = static_cast<uint8_t>((a.x + b.x) / 2);
        mid.level = static_cast<int16_t>((a.level + b.level) / 2);
        curve_.insert(curve_.begin() + current_, mid);
        changed();
        setCurrent(current_);
        return;
    }
    case Qt::Key_Left:
        setCurrent(current_ - 1);
        return;
    case Qt::Key_Right:
        setCurrent(current_ + 1);
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void GraphArea::changed() {
    update();
    if (changed_) changed_();
}

// ---- DbScaleBox -----------------------------------------------------------------------------

DbScaleBox::DbScaleBox(QWidget* parent) : QSpinBox(parent) {
    setRange(0, 4);
    setValue(3);
    setSuffix(" dB/div");
}

int DbScaleBox::dbPerDivision() const {
    return kScales[std::clamp(value(), 0, 4)];
}

QString DbScaleBox::textFromValue(int value) const {
    return QString::number(kScales[std::clamp(value, 0, 4)]);
}

int DbScaleBox::valueFromText(const QString& text) const {
    int db = text.section(' ', 0, 0).toInt();
    for (int i = 0; i < 5; ++i)
        if (kScales[i] == db) return i;
    return value();
}

// ---- CGraphDlg ------------------------------------------------------------------------------

CGraphDlg::CGraphDlg(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                     const std::string& name)
    : QDialog(parent), profile_(profile), ui_(ui), rate_(rate), curve_(FlatCurve()) {
    area_ = new GraphArea(this, curve_, rate, ui);
    readout_ = new QLabel(this);
    readout_->setMinimumWidth(fontMetrics().horizontalAdvance("Freq.: 22.05   Level: -100.00") +
                              10);
    area_->onChanged([this] { markChanged(); });
    area_->onMoved([this] { readout_->setText(area_->readout()); });

    list_ = new QComboBox(this);
    list_->addItem(kNewFilter);
    for (const std::string& n : ListCurves(profile)) list_->addItem(q(n));
    list_->setMinimumWidth(200);
    name_ = new QLineEdit(this);
    lfExpand_ = new QCheckBox("LF Expand", this);
    connect(lfExpand_, &QCheckBox::toggled, this, [this](bool on) {
        lfExpand_->setText(on ? "LF Expand - On" : "LF Expand");
        area_->setZoom(on ? 10 : 1);
    });
    scale_ = new DbScaleBox(this);
    connect(scale_, &QSpinBox::valueChanged, this,
            [this] { area_->setDbPerDivision(scale_->dbPerDivision()); });

    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel("Saved Filters", this));
    side->addWidget(list_);
    side->addSpacing(8);
    side->addWidget(new QLabel("Save New Filter: Enter Name Below", this));
    side->addWidget(name_);
    for (const char* text : {"Save", "Delete Filter", "Undo Changes"}) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(text);
        b->setAutoDefault(false);
        side->addWidget(b);
    }
    side->addStretch(1);
    side->addWidget(lfExpand_);
    side->addWidget(scale_);
    auto* doneButton = new QPushButton("Done", this);
    doneButton->setObjectName("Done");
    doneButton->setAutoDefault(false);
    side->addWidget(doneButton);
    connect(button("Save"), &QPushButton::clicked, this, [this] { save(); });
    connect(button("Delete Filter"), &QPushButton::clicked, this, [this] { deleteFilter(); });
    connect(button("Undo Changes"), &QPushButton::clicked, this, [this] { undoChanges(); });
    connect(doneButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* graph = new QVBoxLayout;
    graph->addWidget(area_, 1);
    graph->addWidget(readout_);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(graph, 1);
    layout->addLayout(side);

    int index = std::max(0, list_->findText(q(name)));
    if (name.empty()) index = 0;
    list_->setCurrentIndex(index);
    shown_ = -1;
    choose(index);
    connect(list_, &QComboBox::currentIndexChanged, this, [this](int i) { choose(i); });
}

QPushButton* CGraphDlg::button(const QString& text) const {
    return findChild<QPushButton*>(text);
}

std::string CGraphDlg::chosenName() const {
    return shown_ > 0 ? list_->itemText(shown_).toStdString() : std::string();
}

void CGraphDlg::updateTitle() {
    setWindowTitle(shown_ > 0 ? "Graphic Filter Editor - " + list_->itemText(shown_)
                              : QString("Graphic Filter Editor - New Filter"));
}

void CGraphDlg::markChanged() {
    changed_ = true;
    readout_->setText(area_->readout());
}

void CGraphDlg::load(const std::string& name) {
    curve_ = LoadCurve(profile_, ui_, name, rate_);
    changed_ = false;
    area_->setCurrent(0);
    area_->update();
}

void CGraphDlg::choose(int index) {
    if (index == shown_) return;
    if (changed_ && shown_ >= 0) {
        const char* text = shown_ == 0 ? "Your new filter has not been saved. Abandon filter?"
                                       : "Your changes have not been saved. Abandon changes?";
        if (ui_.ask(text, "Graphic Filter Editor", Buttons::YesNo) != Answer::Yes) {
            QSignalBlocker block(list_);
            list_->setCurrentIndex(shown_);
            return;
        }
    }
    shown_ = index;
    const std::string name = index > 0 ? list_->itemText(index).toStdString() : std::string();
    load(name);
    name_->setText(index > 0 ? q(name) + "_" : QString());
    updateTitle();
}

void CGraphDlg::save() {
    const std::string name = name_->text().trimmed().toStdString();
    if (!SaveCurve(profile_, ui_, name, curve_, rate_, true)) return;
    {
        QSignalBlocker block(list_);
        list_->clear();
        list_->addItem(kNewFilter);
        for (const std::string& n : ListCurves(profile_)) list_->addItem(q(n));
        shown_ = std::max(0, list_->findText(q(name)));
        list_->setCurrentIndex(shown_);
    }
    name_->clear();
    changed_ = false;
    updateTitle();
    QDialog::accept();
}

void CGraphDlg::deleteFilter() {
    if (shown_ <= 0) {
        ui_.beep();
        return;
    }
    if (!DeleteCurve(profile_, ui_, list_->itemText(shown_).toStdString())) return;
    QSignalBlocker block(list_);
    list_->removeItem(shown_);
    list_->setCurrentIndex(0);
    shown_ = 0;
    curve_ = FlatCurve();
    changed_ = false;
    name_->clear();
    area_->setCurrent(0);
    updateTitle();
}

void CGraphDlg::undoChanges() {
    load(chosenName());
}

void CGraphDlg::done(int result) {
    if (changed_) {
        const char* text = shown_ == 0 ? "Your filter has not been saved. Abandon filter?"
                                       : "Your changes have not been saved. Abandon changes?";
        if (ui_.ask(text, "Quit Graph Editor", Buttons::YesNo) != Answer::Yes) return;
    }
    QDialog::done(result);
}

void showGraphicEditor(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                       std::string& name) {
    CGraphDlg dialog(parent, profile, ui, rate, name);
    dialog.exec();
    name = dialog.chosenName();
}

// ---- ProfilePlot ----------------------------------------------------------------------------

ProfilePlot::ProfilePlot(QWidget* parent, const NoiseProfile& profile, int rate)
    : QWidget(parent), profile_(profile), rate_(rate) {
    setMinimumSize(420, 220);
}

void ProfilePlot::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    const QRect plot = rect().adjusted(36, 18, -10, -20);
    auto db = [](int32_t v) { return 20.0 * std::log10(std::max(1, v)); };
    double top = 20;
    for (const auto& channel : profile_)
        for (int32_t v : channel) top = std::max(top, db(v));
    top = std::ceil(top / 10) * 10;
    const double span = 80;
    auto yOf = [&](double d) {
        return plot.top() + (top - std::clamp(d, top - span, top)) / span * plot.height();
    };
    auto xOf = [&](int bin) { return plot.left() + bin * plot.width() / (kBins - 1.0); };
    p.setPen(QColor(215, 215, 215));
    for (double d = top; d >= top - span; d -= 20) {
        p.drawLine(QPointF(plot.left(), yOf(d)), QPointF(plot.right(), yOf(d)));
        p.setPen(Qt::darkGray);
        p.drawText(QRectF(0, yOf(d) - 7, 32, 14), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(static_cast<int>(d)));
        p.setPen(QColor(215, 215, 215));
    }
    for (int khz = 2; khz * 1000 <= rate_ / 2; khz += 2) {
        double x = xOf(static_cast<int>(khz * 1000.0 * 512 / rate_));
        p.setPen(QColor(215, 215, 215));
        p.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        p.setPen(Qt::darkGray);
        if (x < plot.right() - 36)
            p.drawText(QRectF(x - 15, plot.bottom() + 2, 30, 16), Qt::AlignCenter,
                       QString::number(khz));
    }
    p.drawText(QRect(0, plot.bottom() + 2, 34, 16), Qt::AlignLeft | Qt::AlignVCenter, "dB");
    p.drawText(QRect(plot.right() - 30, plot.bottom() + 2, 30, 16),
               Qt::AlignRight | Qt::AlignVCenter, "kHz");
    p.setPen(QColor(160, 160, 160));
    p.drawRect(plot);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor colours[2] = {QColor(20, 80, 200), QColor(200, 40, 30)};
    const char* names[2] = {"Left", "Right"};
    for (int c = 0; c < 2; ++c) {
        QPainterPath path;
        for (int k = 0; k < kBins; ++k) {
            QPointF pt(xOf(k), yOf(db(profile_[static_cast<size_t>(c)][static_cast<size_t>(k)])));
            k == 0 ? path.moveTo(pt) : path.lineTo(pt);
        }
        p.setPen(QPen(colours[c], 1.5));
        p.drawPath(path);
        p.drawText(QRect(plot.right() - 120 + c * 60, 0, 58, 16), Qt::AlignCenter, names[c]);
    }
}

} // namespace tarnival
