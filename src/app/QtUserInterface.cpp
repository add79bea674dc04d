#include "app/QtUserInterface.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStatusBar>

namespace tarnival {

QtUserInterface::QtUserInterface(QMainWindow* window) : window_(window) {
    for (int i = 1; i < 4; ++i) {
        panes_[i] = new QLabel(window_);
        panes_[i]->setMinimumWidth(i == 1 ? 160 : 110);
        window_->statusBar()->addPermanentWidget(panes_[i]);
    }
}

void QtUserInterface::message(const std::string& text, const std::string& caption) {
    QMessageBox::information(window_, QString::fromStdString(caption),
                             QString::fromStdString(text).trimmed());
}

Answer QtUserInterface::ask(const std::string& text, const std::string& caption, Buttons buttons) {
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == Buttons::YesNo) set = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel)
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    if (buttons == Buttons::OkCancel) set = QMessageBox::Ok | QMessageBox::Cancel;
    auto b = QMessageBox::question(window_, QString::fromStdString(caption),
                                   QString::fromStdString(text), set);
    switch (b) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

void QtUserInterface::beep() {
    QApplication::beep();
}

void QtUserInterface::setStatusPane(int pane, const std::string& text) {
    if (pane >= 1 && pane <= 3) panes_[pane]->setText(QString::fromStdString(text));
}

void QtUserInterface::progressBegin(const std::vector<std::string>& tasks) {
    tasks_ = tasks;
    current_ = 0;
    marked_ = -1;
    lines_[0].clear();
    lines_[1].clear();
    progress_ = new QProgressDialog(window_);
    progress_->setWindowModality(Qt::NonModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setRange(0, 1000);
    QObject::connect(progress_, &QProgressDialog::canceled, [this] { cancelSeen_ = true; });
    window_->setEnabled(false);
    progress_->setEnabled(true);
    showTasks();
    progress_->show();
}

void QtUserInterface::progressEnd() {
    if (progress_) progress_->deleteLater();
    progress_ = nullptr;
    window_->setEnabled(true);
}

void QtUserInterface::showTasks() {
    if (!progress_) return;
    QString text;
    for (int i = 0; i < static_cast<int>(tasks_.size()); ++i) {
        QString mark = i == marked_    ? "! "
                       : i < current_  ? "\u2713 "
                       : i == current_ ? "\u25b6 "
                                       : "   ";
        QString line = QString::fromStdString(tasks_[static_cast<size_t>(i)]).toHtmlEscaped();
        text += mark + (i == current_ ? "<b>" + line + "</b>" : line) + "<br>";
    }
    for (const auto& l : lines_)
        if (!l.empty()) text += "<br>" + QString::fromStdString(l).toHtmlEscaped();
    progress_->setLabelText(text);
}

void QtUserInterface::setTaskText(int index, const std::string& text) {
    if (index >= static_cast<int>(tasks_.size())) tasks_.resize(static_cast<size_t>(index) + 1);
    tasks_[static_cast<size_t>(index)] = text;
    showTasks();
}

void QtUserInterface::setCurrentTask(int index) {
    current_ = index;
    showTasks();
}

void QtUserInterface::markTask(int index) {
    marked_ = index;
    showTasks();
}

void QtUserInterface::setProgressRange(int64_t low, int64_t high) {
    low_ = low;
    high_ = high;
}

void QtUserInterface::setProgressPosition(int64_t position) {
    if (progress_ && high_ > low_)
        progress_->setValue(static_cast<int>((position - low_) * 1000 / (high_ - low_)));
}

void QtUserInterface::setProgressText(int line, const std::string& text) {
    if (line < 0 || line > 1 || lines_[line] == text) return;
    lines_[line] = text;
    showTasks();
}

bool QtUserInterface::pumpAndTakeCancel() {
    QCoreApplication::processEvents();
    bool seen = cancelSeen_;
    cancelSeen_ = false;
    return seen;
}

} // namespace tarnival
