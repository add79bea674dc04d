#include "dialogs/ProgressWindow.h"
#include "document/UserInterface.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tarnival {

namespace {
// The three marks of the task list, drawn rather than taken from an icon theme so that they
// look the same on every desktop.
enum class Mark { None, Current, Done, Attention };

void drawMark(QPainter& p, const QRect& box, Mark mark) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = QRectF(box).adjusted(2, 2, -2, -2);
    switch (mark) {
    case Mark::Current: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(40, 90, 200));
        QPolygonF arrow;
        arrow << r.topLeft() << QPointF(r.right(), r.center().y()) << r.bottomLeft();
        p.drawPolygon(arrow);
        break;
    }
    case Mark::Done: {
        p.setPen(QPen(QColor(30, 140, 50), 2));
        p.drawLine(QPointF(r.left(), r.center().y()),
                   QPointF(r.left() + r.width() * 0.4, r.bottom()));
        p.drawLine(QPointF(r.left() + r.width() * 0.4, r.bottom()), r.topRight());
        break;
    }
    case Mark::Attention: {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(210, 40, 30));
        p.drawEllipse(r);
        p.setPen(QPen(Qt::white, 2));
        p.drawLine(QPointF(r.center().x(), r.top() + 2), QPointF(r.center().x(), r.bottom() - 4));
        p.drawPoint(QPointF(r.center().x(), r.bottom() - 1.5));
        break;
    }
    case Mark::None:
        break;
    }
    p.restore();
}
} // namespace

TaskListWidget::TaskListWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize TaskListWidget::sizeHint() const {
    int line = fontMetrics().height() + 4;
    return {280, line * ProgressWindow::kTaskLines};
}

void TaskListWidget::setTasks(const std::vector<std::string>& tasks) {
    tasks_ = tasks;
    current_ = 0;
    marked_ = -1;
    update();
}

void TaskListWidget::setTaskText(int index, const std::string& text) {
    if (index < 0) return;
    if (index >= static_cast<int>(tasks_.size())) tasks_.resize(static_cast<size_t>(index) + 1);
    tasks_[static_cast<size_t>(index)] = text;
    update();
}

void TaskListWidget::setCurrent(int index) {
    current_ = index;
    update();
}

void TaskListWidget::setMarked(int index) {
    marked_ = index;
    update();
}

void TaskListWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    int line = fontMetrics().height() + 4;
    int n = std::min<int>(static_cast<int>(tasks_.size()), ProgressWindow::kTaskLines);
    for (int i = 0; i < n; ++i) {
        QRect row(0, i * line, width(), line);
        Mark mark = i == marked_    ? Mark::Attention
                    : i == current_ ? Mark::Current
                    : i < current_  ? Mark::Done
                                    : Mark::None;
        drawMark(p, QRect(row.left(), row.top(), line, line), mark);
        QFont f = font();
        f.setBold(i == current_);
        p.setFont(f);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(row.adjusted(line + 6, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   QString::fromStdString(tasks_[static_cast<size_t>(i)]));
    }
}

ProgressWindow::ProgressWindow(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setModal(false);
    tasks_ = new TaskListWidget(this);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    percent_ = new QLabel(" 0 %", this);
    percent_->setMinimumWidth(fontMetrics().horizontalAdvance("100%") + 8);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    for (auto& l : lines_) {
        l = new QLabel(this);
        l->setMinimumWidth(300);
    }
    cancel_ = new QPushButton("Cancel", this);
    connect(cancel_, &QPushButton::clicked, this, [this] { cancelled_ = true; });

    auto* barRow = new QHBoxLayout;
    barRow->addWidget(bar_, 1);
    barRow->addWidget(percent_);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tasks_);
    layout->addLayout(barRow);
    layout->addWidget(lines_[0]);
    layout->addWidget(lines_[1]);
    layout->addLayout(buttons);
}

void ProgressWindow::setRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
    setPosition(low);
}

void ProgressWindow::setPosition(int64_t position) {
    if (high_ > low_) {
        int64_t clamped = std::clamp(position, low_, high_);
        // The bar repaints at once, outside the event loop, whenever it grows, and the engine
        // reports every block and every correction: show it no more often than events are
        // pumped. The ends of the range always show.
        const bool end = clamped == low_ || clamped == high_;
        if (end || !barShown_.isValid() || barShown_.elapsed() >= kBarMilliseconds) {
            bar_->setValue(static_cast<int>((clamped - low_) * 1000 / (high_ - low_)));
            barShown_.start();
        }
    }
    QString text = QString::fromStdString(progressPercentText(position, low_, high_));
    if (percent_->text() != text) percent_->setText(text);
}

void ProgressWindow::setLine(int line, const std::string& text) {
    if (line < 0 || line > 1) return;
    QString t = QString::fromStdString(text);
    if (lines_[line]->text() != t) lines_[line]->setText(t);
}

void ProgressWindow::setCancelEnabled(bool enabled) {
    cancel_->setEnabled(enabled);
}

bool ProgressWindow::takeCancel() {
    bool was = cancelled_;
    cancelled_ = false;
    return was;
}

QString ProgressWindow::percentText() const {
    return percent_->text();
}

QString ProgressWindow::lineText(int line) const {
    return line >= 0 && line <= 1 ? lines_[line]->text() : QString();
}

void ProgressWindow::reject() {
    if (cancel_->isEnabled()) cancelled_ = true;
}

} // namespace tarnival
